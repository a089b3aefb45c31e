// ICU, the largest library the interpreter uses, loaded when first needed: a script that meets
// no non-ASCII text and changes no case starts without it. The functions keep ICU's own names
// and types, declared by its headers.
#pragma once

#include <unicode/ucasemap.h>
#include <unicode/uchar.h>

namespace orvane::icu {

// Each returns ICU's function, loading the library on the first call. A library that cannot be
// loaded ends the process with status 1 and a line on standard error, after the output written
// so far: the installation is broken.
decltype(&::u_hasBinaryProperty) has_binary_property();
decltype(&::u_charType) char_type();
decltype(&::ucasemap_open) case_map_open();
decltype(&::ucasemap_close) case_map_close();
decltype(&::ucasemap_utf8ToUpper) to_upper();
decltype(&::ucasemap_utf8ToLower) to_lower();

}  // namespace orvane::icu
