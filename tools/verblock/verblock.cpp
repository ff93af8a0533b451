// verblock: writes the binary version-information block (VS_VERSIONINFO) that
// a Windows resource compiler would put into a module, so that Linux modules
// can carry the same block in an ELF section and one reader serves both.
//
//   verblock OUTPUT a.b.c.d [Name=Value ...]
//
// The block has one string table, "040904E4" (U.S. English, code page 1252),
// and the translation 0x0409, 1252. Values are UTF-8 and stored as UTF-16.
// Built for the build machine and standard library only, so a cross build
// can compile it with the host's compiler.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct TNode {
    std::u16string key;
    uint16_t type = 0; // 1: text value, counted in UTF-16 units; 0: binary, in bytes
    uint16_t valueLength = 0;
    std::vector<uint8_t> value;
    std::vector<TNode> children;
};

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = c;
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra > 0)
            cp = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Pad4(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0)
        out.push_back(0);
}

// Lengths count from the node's start to the end of its last child, without
// the padding that follows: the layout the resource compilers write.
std::vector<uint8_t> Serialize(const TNode& node) {
    std::vector<uint8_t> out;
    Put16(out, 0); // length, patched below
    Put16(out, node.valueLength);
    Put16(out, node.type);
    for (char16_t unit : node.key)
        Put16(out, unit);
    Put16(out, 0);
    Pad4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const TNode& child : node.children) {
        Pad4(out);
        std::vector<uint8_t> bytes = Serialize(child);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out[0] = uint8_t(out.size());
    out[1] = uint8_t(out.size() >> 8);
    return out;
}

TNode TextValue(const std::string& name, const std::string& text) {
    TNode node{Utf16(name), 1, 0, {}, {}};
    std::u16string value = Utf16(text);
    value += u'\0';
    node.valueLength = uint16_t(value.size());
    for (char16_t unit : value)
        Put16(node.value, unit);
    return node;
}

bool ParseVersion(const std::string& text, unsigned part[4]) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &part[0], &part[1], &part[2], &part[3],
                       &tail) == 4 &&
           part[0] <= 0xFFFF && part[1] <= 0xFFFF && part[2] <= 0xFFFF && part[3] <= 0xFFFF;
}

std::vector<uint8_t> FixedFileInfo(const unsigned v[4]) {
    std::vector<uint8_t> out;
    Put32(out, 0xFEEF04BD);       // signature
    Put32(out, 0x00010000);       // structure version
    for (int i = 0; i < 2; ++i) { // file version, then product version
        Put32(out, v[0] << 16 | v[1]);
        Put32(out, v[2] << 16 | v[3]);
    }
    Put32(out, 0x3F);       // flags mask
    Put32(out, 0);          // flags
    Put32(out, 0x00040004); // VOS_NT_WINDOWS32
    Put32(out, 2);          // VFT_DLL
    Put32(out, 0);          // subtype
    Put32(out, 0);          // date, high
    Put32(out, 0);          // date, low
    return out;
}

} // namespace

int main(int argc, char** argv) {
    unsigned version[4];
    if (argc < 3 || !ParseVersion(argv[2], version)) {
        std::fprintf(stderr, "usage: verblock OUTPUT a.b.c.d [Name=Value ...]\n");
        return 2;
    }
    TNode table{u"040904E4", 1, 0, {}, {}};
    table.children.push_back(TextValue("FileVersion", argv[2]));
    for (int i = 3; i < argc; ++i) {
        std::string pair = argv[i];
        size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "verblock: expected Name=Value, got '%s'\n", argv[i]);
            return 2;
        }
        table.children.push_back(TextValue(pair.substr(0, eq), pair.substr(eq + 1)));
    }
    TNode strings{u"StringFileInfo", 1, 0, {}, {table}};

    TNode translation{u"Translation", 0, 4, {}, {}};
    Put16(translation.value, 0x0409);
    Put16(translation.value, 1252);
    TNode vars{u"VarFileInfo", 1, 0, {}, {translation}};

    TNode root{u"VS_VERSION_INFO", 0, 52, FixedFileInfo(version), {strings, vars}};
    std::vector<uint8_t> block = Serialize(root);
    if (block.size() > 0xFFFF) {
        std::fprintf(stderr, "verblock: the strings make the block too long\n");
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size()));
    if (!out) {
        std::fprintf(stderr, "verblock: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
