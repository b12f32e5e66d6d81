// Must not compile: 中 has no CP1251 form. Only the test that expects its
// build to fail builds it.
#include "support/Cp1251.h"

using namespace kestrune::text::literals;

std::string_view literalWithoutACp1251Form() {
    return "файл中"_cp1251;
}
