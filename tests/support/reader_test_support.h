// Small helpers the engine's reader tests share: opening bytes in memory, a first-match answer
// and a sheet list written as text, and the one table shape every reader test uses (fixture,
// sheet, keyword, answer), one line a row.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/core/matcher.h"
#include "engine/workbook.h"

namespace quillmark::engine::testing {

// "row,column" of the first match, "none", or "fail:" and the failure's kind.
inline QString describe(const Outcome<std::optional<CellPosition>>& found) {
    if (!found) return QString("fail:") + failureKindName(found.failure().kind);
    if (!found.value()) return "none";
    return QString("%1,%2").arg(found.value()->row).arg(found.value()->column);
}

// Every hit of a sheet as "row,column" separated by spaces.
class Positions final : public HitSink {
  public:
    bool take(const CellHit& hit) override {
        text += QString("%1%2,%3")
                    .arg(text.isEmpty() ? "" : " ")
                    .arg(hit.cell.row)
                    .arg(hit.cell.column);
        return true;
    }
    QString text;
};

// The workbook's sheet names in order, a hidden one marked " (hidden)", one that is no
// worksheet by its kind: " [macro]", " [chart]", " [dialog]".
inline QStringList sheetNames(const WorkbookReader& reader) {
    QStringList names;
    for (const SheetInfo& sheet : reader.sheets()) {
        QString name = QString::fromStdString(sheet.name) + (sheet.hidden ? " (hidden)" : "");
        if (sheet.kind == SheetKind::MacroSheet) name += " [macro]";
        if (sheet.kind == SheetKind::Chart) name += " [chart]";
        if (sheet.kind == SheetKind::Dialog) name += " [dialog]";
        names << name;
    }
    return names;
}

// Opens a workbook held in memory, named `name` (which names a plain text file's sheet).
inline ReaderOutcome openBytes(const QByteArray& bytes, std::string_view name) {
    return openWorkbookData(memoryData(std::vector<std::uint8_t>(bytes.begin(), bytes.end())),
                            name);
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The answer of one search in a fixture: describe()'s text, or "open:" and the failure's kind;
// for sheet -1, the sheet list joined by " | ".
inline QString answerOf(const ReaderOutcome& reader, int sheet, const QString& keyword) {
    if (!reader) return QString("open:") + failureKindName(reader.failure().kind);
    if (sheet < 0) return sheetNames(*reader.value()).join(" | ");
    return describe(reader.value()->findFirst(std::size_t(sheet), Matcher(keyword.toStdString())));
}

inline QString findIn(const QString& path, int sheet, const QString& keyword) {
    return answerOf(openWorkbook(path.toStdString()), sheet, keyword);
}

// The table shape of findIn: file, sheet, keyword, expected.
inline void findColumns() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("sheet");
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("expected");
}

inline void findRow(const QByteArray& tag, const QString& file, int sheet, const char* keyword,
                    const char* expected) {
    QTest::newRow(tag.constData())
        << file << sheet << QString::fromUtf8(keyword) << QString(expected);
}

}  // namespace quillmark::engine::testing

// The test slot of a findColumns() table; `folder` is prefixed to each file.
#define QUILLMARK_FIND_TEST(folder) \
    QFETCH(QString, file);          \
    QFETCH(int, sheet);             \
    QFETCH(QString, keyword);       \
    QFETCH(QString, expected);      \
    QCOMPARE(quillmark::engine::testing::findIn(QString(folder) + file, sheet, keyword), expected)
