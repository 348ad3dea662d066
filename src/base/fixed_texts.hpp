// The texts that callers match and stored outputs hold. Callers compare the
// exceptions' messages, classes and class paths, scripts grep logs for them,
// and saved results hold them: rewording any of them breaks someone. So they
// are written here, once, and never "fixed" for style; the one that takes
// code to write, the quoting of file names, is in pyapi/quoting.cpp. Free
// of Python, so that the native batch engine reports failures in the same
// words.
#pragma once

#include <array>
#include <string_view>

namespace pairo::texts {

// Messages that name the input format call it "tenhou.net/6".

// ---- the conversion's failures, by stage: decode, prepare, convert, encode
inline constexpr std::array<const char*, 4> stage_messages = {
    "failed to parse tenhou.net/6 log", "invalid log", "failed to convert tenhou.net/6 log to mjai",
    "failed to serialize"};

// ---- class paths of _pairo's classes, in the order of ErrorClass
inline constexpr std::array<const char*, 4> error_class_paths = {
    "_pairo.TenhouLogParsingError", "_pairo.TenhouToMjaiError", "_pairo.JsonSerializationError",
    "_pairo.JsonParsingError"};
// Its module part is no importable module: the class is reached only
// through the exceptions it is raised with.
inline constexpr const char* panic_class_path = "pairo_runtime.PanicException";

// ---- arguments, in the interpreter's own wording (format strings)
inline constexpr const char* takes_exactly = "%s() takes %zd positional arguments but %zd were given";
inline constexpr const char* takes_from_to = "%s() takes from %zd to %zd positional arguments but %zd were given";
inline constexpr const char* unexpected_keyword = "%s() got an unexpected keyword argument '%U'";
inline constexpr const char* multiple_values = "%s() got multiple values for argument '%s'";
inline constexpr const char* missing_argument = "%s() missing 1 required positional argument: '%s'";
inline constexpr const char* argument_prefix = "argument '%s': %S";
// A value of the wrong type where text is wanted ('%U' is its type's name):
// not the interpreter's wording but the fixed surface's own, kept as
// callers have always matched it.
inline constexpr const char* not_a_str = "'%U' object cannot be converted to 'PyString'";

// ---- files
inline constexpr const char* open_failed = "failed to open tenhou.net/6 log file ";  // then the quoted name
inline constexpr const char* create_failed = "failed to create mjai out file ";     // then the shown name
inline constexpr const char* write_failed = "failed to write to mjai out file";
inline constexpr const char* not_utf8 = "stream did not contain valid UTF-8";
inline constexpr const char* too_large = " is larger than ";  // after what was read, before the bound
inline constexpr const char* invalid_gzip = "invalid gzip data";
inline constexpr const char* os_error_suffix = " (os error ";  // strerror, then errno and ")"

// ---- XML game records: where the element at fault starts
inline constexpr const char* at_byte = " (at byte ";  // then the offset and ")"
inline constexpr const char* not_an_xml_record =
    "not an XML game record: a tenhou.net/6 log is converted to mjai only";
// An mjai stream given where a Tenhou log is read (a data set converted
// before, met again in a rerun).
inline constexpr const char* mjai_stream =
    "an mjai stream, not a Tenhou log: mjai events are what pairo writes, not what it reads";

// ---- internal failures
inline constexpr const char* out_of_memory = "out of memory";

// ---- module initialisation
inline constexpr const char* no_exception_set = "attempted to fetch exception but none was set";

}  // namespace pairo::texts
