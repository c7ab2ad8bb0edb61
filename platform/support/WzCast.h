#pragma once
// Casts that make the argument type of a printf-style call explicit.
namespace wzcast {
inline unsigned long lu(unsigned long value) {
    return value;
}
}  // namespace wzcast
