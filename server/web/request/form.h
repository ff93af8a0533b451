// Form fields as browsers send them: "name=value&name=value" with percent
// escapes and '+' for a blank, in a query string or an urlencoded body.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace navlet::web {

// In arrival order: the query's fields, then the body's.
using TFormFields = std::vector<std::pair<std::string, std::string>>;

// Decodes "%XX" and '+'. A '%' not followed by two hex digits stays as it is,
// as browsers leave it; the result may hold any byte, including zero.
std::string DecodeFormText(std::string_view text);

// Appends the fields of `text` to `fields`. Empty pieces ("a=1&&b=2") are
// skipped; a piece without '=' is a field with an empty value. False, with
// `fields` holding at most `maxFields`, when the text holds more than that.
bool DecodeForm(std::string_view text, size_t maxFields, TFormFields& fields);

// The value of the first field called `name`; empty when there is none.
std::string FieldValue(const TFormFields& fields, std::string_view name);
bool HasField(const TFormFields& fields, std::string_view name);

} // namespace navlet::web
