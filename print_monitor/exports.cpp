// The library's two exports. Everything else in it is hidden; the platform services it calls
// (registry, clock, message sink, NetBIOS, the spooler's printer calls) come from the process that
// loads it, as a Windows monitor takes them from the system's libraries.
#include "print_monitor/monitor.h"

extern "C" {

__attribute__((visibility("default"))) BOOL DllEntryPoint(HANDLE hModule, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) brandel::ProcessAttach(hModule);
  return TRUE;
}

__attribute__((visibility("default"))) BOOL InitializeMonitorEx(LPSTR pRegistryRoot, LPMONITOR pMonitor) {
  return brandel::InitializeMonitor(pRegistryRoot, pMonitor);
}

}  // extern "C"
