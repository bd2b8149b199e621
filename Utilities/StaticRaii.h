#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

// The one owner of a handle-like value, with its release function and empty value fixed at
// compile time. The empty value is given as an integer, since INVALID_HANDLE_VALUE (all bits
// set) cannot be a pointer template argument.
template <class T, void (*Release)(T), std::intptr_t NullValue = 0>
class StaticRaii {
public:
    static T Null() noexcept
    {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(NullValue);
        else
            return static_cast<T>(NullValue);
    }

    StaticRaii() noexcept = default;
    explicit StaticRaii(T value) noexcept : value(value) {}
    StaticRaii(StaticRaii&& other) noexcept : value(other.Detach()) {}
    StaticRaii& operator=(StaticRaii&& other) noexcept
    {
        if (this != &other) {
            Reset();
            value = other.Detach();
        }
        return *this;
    }
    StaticRaii(const StaticRaii&) = delete;
    StaticRaii& operator=(const StaticRaii&) = delete;
    virtual ~StaticRaii() { Reset(); }

    T get() const noexcept { return value; }
    explicit operator bool() const noexcept { return value != Null(); }

    // Hands the value to another owner without releasing it.
    [[nodiscard]] T Detach() noexcept { return std::exchange(value, Null()); }

    void Reset() noexcept
    {
        if (value != Null())
            Release(std::exchange(value, Null()));
    }

protected:
    T value = Null();
};
