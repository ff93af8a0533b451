// The settings store on Windows: the real registry, HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT, through the ANSI calls (the bar's strings are ANSI), and
// the low-integrity key of Protected Mode (protected_mode.h).
#pragma once

#include "client/kit/registry.h"

namespace navlet::win32 {

class TWin32Registry : public TRegistry {
  public:
    std::unique_ptr<TRegistryKey> OpenKey(THive hive, std::string_view path,
                                          TKeyOpen mode) override;
};

} // namespace navlet::win32
