// Byte vectors that grow without zeroing what they gain: inflated parts and parse buffers are
// written over before they are read, and zeroing them first cost up to a tenth of searching a
// folder of small workbooks.
#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillmark::engine {

// std::allocator, except that a value made with no arguments is default-initialized (for a
// byte: left as it is) instead of value-initialized (zeroed).
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

    template <class U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

template <class T, class U>
bool operator==(const DefaultInitAllocator<T>&, const DefaultInitAllocator<U>&) {
    return true;
}

using ByteBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;
using CharBuffer = std::vector<char, DefaultInitAllocator<char>>;

}  // namespace quillmark::engine
