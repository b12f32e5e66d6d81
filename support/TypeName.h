#pragma once

#include <string>
#include <typeinfo>

namespace kestrune {

// The name of a type as the library's messages show it.
template <typename T>
struct TypeName {
    static std::string get() { return typeid(T).name(); }
};

template <>
struct TypeName<int> {
    static std::string get() { return "int"; }
};

} // namespace kestrune
