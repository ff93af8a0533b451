#include "server/web/request/form.h"

#include "protocol/ascii.h"

namespace navlet::web {

std::string DecodeFormText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
            continue;
        }
        if (c == '%' && i + 2 < text.size()) {
            int high = HexDigitValue(text[i + 1]);
            int low = HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool DecodeForm(std::string_view text, size_t maxFields, TFormFields& fields) {
    while (!text.empty()) {
        size_t amp = text.find('&');
        std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty())
            continue;
        if (fields.size() >= maxFields)
            return false;
        size_t eq = piece.find('=');
        std::string_view name = piece.substr(0, eq);
        std::string_view value =
            eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
        fields.emplace_back(DecodeFormText(name), DecodeFormText(value));
    }
    return true;
}

std::string FieldValue(const TFormFields& fields, std::string_view name) {
    for (const auto& [key, value] : fields) {
        if (key == name)
            return value;
    }
    return {};
}

bool HasField(const TFormFields& fields, std::string_view name) {
    for (const auto& field : fields) {
        if (field.first == name)
            return true;
    }
    return false;
}

} // namespace navlet::web
