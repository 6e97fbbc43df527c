#pragma once
// The settings taken from the command line. Written once by ParseCommandLine
// before the logger or the controller exist, and only read afterwards.
// Every member starts at its value for an absent switch.
#include <cstdint>
#include <string>

namespace tavrik {

struct Settings {
  int32_t Port = 8147;                     // -p, client listener port
  int16_t ComPort = 1;                     // -c, serial port number
  std::string ComSettings = "9600,n,8,1";  // -b, baud,parity,data bits,stop bits
  uint8_t DebugLevel = 10;                 // -d
  std::string RemoteAddress;               // -a, network source peer
  int32_t RemotePort = 0;                  // -t, 0 disables the network source
  bool SrcListen = false;                  // -l, listen instead of connecting
  uint8_t SrcProtocol = 0;                 // -r, 1 means UDP, every other value TCP
  std::string SourceFile;                  // -h, spool file
  int32_t FrameTimeout = 500;              // -f, milliseconds
  bool CutDetection = false;               // -u
  bool EventContentType = false;           // -e
  int32_t LogSizeMB = 10;                  // -g
  std::string LogFileName = "Debug.log";   // -i
  bool ServiceMode = false;                // -s
};

}  // namespace tavrik
