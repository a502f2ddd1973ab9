// The print spooler's interface as port monitors and printing programs see it: the monitor table
// that a monitor library hands over from InitializeMonitorEx, the port and printer records, the
// printer calls a monitor may make (OpenPrinterA, GetPrinterA level 5, ClosePrinter) and the error
// codes the spooler reads from a monitor's last error. Layouts are the natural ones of this
// machine (pointers are 8 bytes on x86-64): sizes always come from sizeof, never from constants.
//
// The printer calls live in the spooler stand-in (spooler.h), in the process that loads the
// monitor; the monitor library takes them, with the other platform services, from its host.
#pragma once
#include <cstdint>

#include "platform/named_objects/named_objects.h"
#include "platform/win_types.h"

using LPSTR = char*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using PHANDLE = HANDLE*;
using HWND = void*;
using LPWSTR = char16_t*;

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

struct PORT_INFO_1A {
  LPSTR pName;
};

struct PORT_INFO_2A {
  LPSTR pPortName;
  LPSTR pMonitorName;
  LPSTR pDescription;
  DWORD fPortType;
  DWORD Reserved;
};

constexpr DWORD PORT_TYPE_WRITE = 0x1;
constexpr DWORD PORT_TYPE_READ = 0x2;

struct DOC_INFO_1A {
  LPSTR pDocName;
  LPSTR pOutputFile;
  LPSTR pDatatype;
};

struct PRINTER_INFO_5A {
  LPSTR pPrinterName;
  LPSTR pPortName;
  DWORD Attributes;
  DWORD DeviceNotSelectedTimeout;
  DWORD TransmissionRetryTimeout;
};

// The monitor table of the first monitor interface: thirteen entries, in this order.
struct MONITOR {
  BOOL (*pfnEnumPorts)(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded,
                       LPDWORD pcReturned);
  BOOL (*pfnOpenPort)(LPSTR pName, PHANDLE pHandle);
  BOOL (*pfnOpenPortEx)(LPSTR pPortName, LPSTR pPrinterName, PHANDLE pHandle, MONITOR* pMonitor);
  BOOL (*pfnStartDocPort)(HANDLE hPort, LPSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL (*pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL (*pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL (*pfnEndDocPort)(HANDLE hPort);
  BOOL (*pfnClosePort)(HANDLE hPort);
  BOOL (*pfnAddPort)(LPSTR pName, HWND hWnd, LPSTR pMonitorName);
  BOOL (*pfnConfigurePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
  BOOL (*pfnDeletePort)(LPSTR pName, HWND hWnd, LPSTR pPortName);
  BOOL (*pfnGetPrinterDataFromPort)(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                    DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                    LPDWORD lpcbReturned);
  BOOL (*pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
};
using LPMONITOR = MONITOR*;

// The two functions a monitor library exports.
using InitializeMonitorExFn = BOOL (*)(LPSTR pRegistryRoot, LPMONITOR pMonitor);
using DllEntryPointFn = BOOL (*)(HANDLE hModule, DWORD reason, void* reserved);
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

// Last errors of the spooler and its monitors.
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_OUT_OF_PAPER = 28;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_IO_DEVICE = 1117;
constexpr DWORD ERROR_COUNTER_TIMEOUT = 1121;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
constexpr DWORD ERROR_UNKNOWN_PORT = 1796;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;

// Printer calls (spooler.cpp). A printer is a record of the spooler stand-in (AddPrinterRecord).
BOOL OpenPrinterA(LPSTR pPrinterName, PHANDLE phPrinter, void* pDefault);
// Level 5 only; with too small a buffer: ERROR_INSUFFICIENT_BUFFER and *pcbNeeded.
BOOL GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded);
BOOL ClosePrinter(HANDLE hPrinter);
