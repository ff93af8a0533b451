#include "client/core/registration.h"

namespace navlet {

namespace {

// The OLE status bits: recompose on resize, can't link inside, inside-out,
// activate when visible, set client site first.
constexpr const char* MISC_STATUS = "131473";
constexpr const char* TYPELIB_VERSION = "1.0";

} // namespace

std::string ClassKey() {
    return std::string("CLSID\\") + CLSID_NAVLET;
}

std::string CommBandCategoryKey() {
    return ClassKey() + "\\Implemented Categories\\" + CATID_COMM_BAND;
}

std::vector<TRegEntry> ClassRegistrationEntries(const std::string& modulePath) {
    const std::string cls = ClassKey();
    return {
        {cls, "", NAVLET_CLASS_HELP},
        {cls + "\\InprocServer32", "", modulePath},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {cls + "\\ProgID", "", PROGID_NAVLET},
        {PROGID_NAVLET, "", NAVLET_CLASS_HELP},
        {std::string(PROGID_NAVLET) + "\\CLSID", "", CLSID_NAVLET},
        {cls + "\\Version", "", TYPELIB_VERSION},
        {cls + "\\Typelib", "", LIBID_NAVLET},
        {cls + "\\MiscStatus", "", "0"},
        {cls + "\\MiscStatus\\1", "", MISC_STATUS},
        {cls + "\\ToolboxBitmap32", "", modulePath + ",1"},
        {cls + "\\Control", "", ""},
        {cls + "\\Verb", "", ""},
        {cls + "\\Verb\\0", "", "Properties,0,2"},
    };
}

bool WriteClassRegistration(TRegistry& registry, const std::string& modulePath) {
    for (const TRegEntry& e : ClassRegistrationEntries(modulePath)) {
        auto key = registry.OpenKey(THive::ClassesRoot, e.key, TKeyOpen::Create);
        if (!key || key->WriteString(e.valueName, e.value) != TRegResult::Ok)
            return false;
    }
    // The category manager's entry is the key alone.
    return registry.OpenKey(THive::ClassesRoot, CommBandCategoryKey(), TKeyOpen::Create) != nullptr;
}

} // namespace navlet
