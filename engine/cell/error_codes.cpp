// The error codes shared by .xls and .xlsb cells and formula constants ([MS-XLS] 2.5.10 BErr,
// [MS-XLSB] 2.5.97.2 BErr).
#include "engine/cell/error_codes.h"

namespace quillmark::engine {

const char* errorCodeText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        case 0x2B:
            return "#GETTING_DATA";
        default:
            return nullptr;
    }
}

}  // namespace quillmark::engine
