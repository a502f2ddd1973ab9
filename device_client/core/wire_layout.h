// Byte layouts and numbers of the print-server management protocol. These are facts of the wire,
// shared by the device libraries and by the box emulator in tools/; no logic lives here, so a
// misreading of the protocol cannot hide on both sides.
#pragma once
#include <cstdint>

namespace wire {

// Request chunks: '@', more flag (1 = more chunks follow), uint16 LE data length, then the data.
constexpr std::uint8_t kRequestMarker = 0x40;
constexpr int kRequestHeaderSize = 4;
constexpr int kMaxRequestChunk = 384;

// Reply chunks over TCP and NetBIOS: lead byte (not examined), more flag, error byte,
// uint16 LE data length.
constexpr int kStreamReplyHeaderSize = 5;
constexpr int kStreamReplyMoreOffset = 1;
constexpr int kStreamReplyErrorOffset = 2;
constexpr int kStreamReplyLengthOffset = 3;
// Reply chunks over SPX: more flag, error byte, uint16 LE data length.
constexpr int kSpxReplyHeaderSize = 4;
constexpr int kSpxReplyMoreOffset = 0;
constexpr int kSpxReplyErrorOffset = 1;
constexpr int kSpxReplyLengthOffset = 2;

// The stream transports' receive buffer, and the largest NetBIOS session message.
constexpr int kReceiveBufferSize = 3072;

// Ports and sockets.
constexpr std::uint16_t kTcpPort = 34443;         // TCP request port; first UDP discovery port
constexpr std::uint16_t kUdpPort = 34444;         // second UDP discovery port; UDP request port
constexpr std::uint16_t kSpxSocket = 0x0404;      // SPX request socket of a box
constexpr std::uint16_t kSapSocket = 0x0452;      // IPX SAP socket
constexpr std::uint16_t kBoxSapServerType = 0x868B;
constexpr std::uint16_t kFileServerSapType = 0x0004;
constexpr std::uint16_t kNdsTreeSapType = 0x0278;

// NetBIOS naming.
constexpr const char* kBoxGroupName = "WSPS_PSRV_KVX";  // zero-padded to 16 bytes
constexpr std::uint8_t kDeviceNamePad = 0x02;           // pads a box name to 15 bytes
constexpr std::uint8_t kDeviceNameSuffix = 0x01;        // 16th byte of a box name
constexpr std::uint8_t kLocalNameSuffixBase = 0x80;     // 15th byte of a local name: 0x80 + n

// Wizard UDP request transport: request datagram header (12 bytes) and reply header (13 bytes).
constexpr int kUdpRequestHeaderSize = 12;
constexpr int kUdpReplyHeaderSize = 13;

// The 164-byte device-information block returned for "9007:".
namespace pid {
constexpr int kSize = 164;
constexpr int kPidVersion = 0;      // 2 bytes
constexpr int kDlControl = 2;       // 2 bytes
constexpr int kHardwareId = 4;      // 32 bytes (4..35); 4..6 model code
constexpr int kHardwareIdSize = 32;
constexpr int kModelCode = 4;       // 3 bytes
constexpr int kSerialPorts = 9;     // low nibble
constexpr int kParallelPorts = 10;  // top two bits
constexpr int kUsbPorts = 11;       // top two bits
constexpr int kChecksum = 36;
constexpr int kProductId = 38;
constexpr int kProductIdMask = 40;
constexpr int kProtocolId = 42;     // byte 42 bit 7 wireless; byte 43 bits 0..5 protocols
constexpr int kProtocolIdMask = 44;
constexpr int kFunctionId = 46;     // byte 47 bit 1: answers "9037:" with an extended name block
constexpr int kFunctionIdMask = 48;
constexpr int kFwVersion = 50;
constexpr int kDeviceName = 56;     // 20 bytes, NUL-padded
constexpr int kDefaultName = 76;    // 20 bytes, NUL-padded
constexpr int kNameSize = 20;
constexpr int kModelText = 96;      // 60 bytes, written by the client
constexpr int kModelTextSize = 60;
constexpr int kDecodedParallel = 156;  // int32 written by the client
constexpr int kDecodedSerial = 160;    // int32 written by the client

constexpr std::uint8_t kCapWireless = 0x80;  // byte 42
constexpr std::uint8_t kCapIpxSpx = 0x01;    // byte 43
constexpr std::uint8_t kCapTcpIp = 0x02;
constexpr std::uint8_t kCapAppleTalk = 0x04;
constexpr std::uint8_t kCapNetBeui = 0x08;
constexpr std::uint8_t kCapSnmp = 0x10;
constexpr std::uint8_t kCapInternetMail = 0x20;
constexpr std::uint8_t kFuncExtendedName = 0x02;  // byte 47
}  // namespace pid

// The 144-byte reply of "9037:": the display name is the text at offset 96.
constexpr int kExtendedInfoSize = 144;
constexpr int kExtendedInfoNameOffset = 96;

// Discovery cache files: int32 count, then records of 118 bytes.
namespace cache {
constexpr int kHeaderSize = 4;
constexpr int kRecordSize = 118;
constexpr int kMaxRecords = 384;
constexpr int kDefaultName = 0;     // 20 bytes
constexpr int kProtocol = 20;       // int32
constexpr int kAddress = 24;        // 20 bytes
constexpr int kLocalAddress = 44;   // 20 bytes: dotted text of the PC's own interface
constexpr int kHardwareId = 64;     // 32 bytes: block bytes 4..35
constexpr int kFunctionId = 96;     // 2 bytes: block bytes 46..47
constexpr int kDeviceName = 98;     // 20 bytes: block bytes 56..75
}  // namespace cache

// The fixed pair key of the password scrambler: four disjoint bit pairs (high nibble, low nibble).
// It pairs bit 3 with bit 7, so the 0x08 that the scrambler ORs into each pair byte comes back as
// bit 7, which the unscrambler clears.
constexpr std::uint8_t kScrambleFixedPairs[4] = {0x37, 0x16, 0x25, 0x04};

}  // namespace wire
