// The embedded engine served through the automation layer as "Excel.Application", with the
// object model the workbook search uses: Workbooks.Open, Worksheets, Sheets, a sheet's Name,
// Cells and Application, Range.Find and Quit.
#pragma once

#include <string_view>

#include "platform/automation.h"

namespace quillmark::automation {

inline constexpr std::string_view kExcelApplication = "Excel.Application";

// A new application object of the embedded engine, with no workbook open.
CallResult<Object> createEngineApplication();

}  // namespace quillmark::automation
