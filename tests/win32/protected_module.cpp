// The module as Internet Explorer runs it in Protected Mode, which wine
// cannot play (its ieframe.dll has no IEIsProtectedModeProcess): the test
// build Navlet_Client_protected.ocx links this beside the shipped module's
// code. Only the process's integrity is switched; the low-integrity key and
// folder stay the platform's answers.
#include "client/win32/kit/protected_mode.h"

namespace navlet::win32 {
namespace {

class TLowIntegrityProcess final : public TProtectedModeAnswers {
  public:
    TLowIntegrityProcess() : platform(ProtectedModeAnswers()) { SetProtectedModeAnswers(this); }
    ~TLowIntegrityProcess() override { SetProtectedModeAnswers(nullptr); }

    bool IsProtectedProcess() override { return true; }
    HKEY OpenWritableCurrentUser() override { return platform.OpenWritableCurrentUser(); }
    std::wstring WritableFolder() override { return platform.WritableFolder(); }

  private:
    TProtectedModeAnswers& platform;
};

// Switched while the module loads, before any bar can ask.
TLowIntegrityProcess lowIntegrity;

} // namespace
} // namespace navlet::win32
