// The tooltip of a results row's Sheet cell: where in the workbook the keyword was found.
#pragma once

#include <QString>

#include "search/workbook_search.h"

namespace quillmark::app {

// The first hits, one per line as "Sheet!C12  text" with each text cut to one short line, and
// a last line counting the hits not shown (or saying they are being counted, when the search
// looked for first hits only); empty when the search kept no hits.
QString hitsToolTip(const search::WorkbookSearchResult& result);

// Whether some matching sheet may hold hits that were not looked for.
bool hitsLeftUncounted(const search::WorkbookSearchResult& result);

}  // namespace quillmark::app
