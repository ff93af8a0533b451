// Internet Explorer's Protected Mode, as the platform answers it. A bar that
// the browser runs at low integrity may not write the user's normal registry
// key nor the module's folder; the platform hands it a key and a folder of
// its own. The answers come from ieframe.dll, looked up at first use, since
// older systems lack some of its calls (and wine 8 has only a stub of
// IEGetWriteableHKCU); tests switch them.
#pragma once

#include <windows.h>

#include <string>

namespace navlet::win32 {

class TProtectedModeAnswers {
  public:
    virtual ~TProtectedModeAnswers() = default;
    // IEIsProtectedModeProcess; false where the call is missing.
    virtual bool IsProtectedProcess() = 0;
    // The current user's low-integrity key (IEGetWriteableHKCU, or
    // HKCU\Software\AppDataLow where that fails), for the caller to close;
    // null when none can be opened.
    virtual HKEY OpenWritableCurrentUser() = 0;
    // The user's low-integrity folder (IEGetWriteableFolderPath, or the known
    // folder LocalAppDataLow), ending in a separator; empty when none.
    virtual std::wstring WritableFolder() = 0;
};

// The answers in force: the platform's, unless a test switched them (the
// shipped module never does; a test build of it may, where the platform
// cannot answer, as under wine).
TProtectedModeAnswers& ProtectedModeAnswers();
// Null restores the platform's answers.
void SetProtectedModeAnswers(TProtectedModeAnswers* answers);

// Where a protected bar downloads its update: "Navlet\" in the low folder;
// empty when there is none. Not created here.
std::wstring ProtectedDownloadFolderW();

} // namespace navlet::win32
