// One token pointer per thread: workbook searches on worker threads never see each other's.
#include "engine/core/cancel.h"

namespace quillmark::engine {
namespace {
thread_local const CancelToken* currentToken = nullptr;
}

CancelScope::CancelScope(const CancelToken* token) : previous_(currentToken) {
    currentToken = token;
}

CancelScope::~CancelScope() {
    currentToken = previous_;
}

bool cancelRequested() {
    return currentToken != nullptr && currentToken->cancelled();
}

}  // namespace quillmark::engine
