// The program's entry: hands the command line, without the program name, to the driver and
// ends with the driver's exit code.
#include "frontend/command_line.h"
#include "frontend/driver.h"
#include "platform/operations.h"

// After the portable declarations: <windows.h> defines macros that would rewrite them.
#include <windows.h>

namespace {

// Declared here: older MinGW headers lack the redirection-trust policy.
constexpr int redirectionTrustPolicy = 16;     // ProcessRedirectionTrustPolicy
constexpr int imageLoadPolicy = 10;            // ProcessImageLoadPolicy
constexpr DWORD enforceRedirectionTrust = 1;   // EnforceRedirectionTrust
constexpr DWORD preferSystem32Images = 4;      // PreferSystem32Images

// The program runs elevated and deletes what its list file names. It refuses to follow
// junctions and links that a non-administrator made, and takes any DLL loaded later from
// the system folder. Both policies are looked up at run time, so a Windows without them
// still runs the program, just without the extra protection.
void hardenProcess() {
    using SetPolicy = BOOL(WINAPI*)(int policy, void* buffer, SIZE_T length);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    auto setPolicy =
        reinterpret_cast<SetPolicy>(reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessMitigationPolicy")));
    if (setPolicy == nullptr) return;
    DWORD redirection = enforceRedirectionTrust;
    setPolicy(redirectionTrustPolicy, &redirection, sizeof redirection);
    DWORD imageLoad = preferSystem32Images;
    setPolicy(imageLoadPolicy, &imageLoad, sizeof imageLoad);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*showCommand*/) {
    // The system's own command line, not the runtime's copy: the program name is removed by
    // the same rule on every build.
    hardenProcess();
    const char* arguments = skipProgramName(::GetCommandLineA());
    return runUninstaller(reinterpret_cast<platform::HINSTANCE>(instance), arguments);
}
