#include "startup/PortConflict.h"

#include <gtest/gtest.h>

#include "startup/CommandLine.h"

namespace tavrik {
namespace {

TEST(PortConflict, WebPortMayBeNeitherTheClientPortNorTheSourcesListeningPort) {
  const struct {
    const char* commandLine;
    const char* problem;
  } cases[] = {
      {"-w 8080", ""},
      {"-p 8080 -w 8080", "-w: port 8080 is the client port (-p)"},
      {"-w 127.0.0.1:8147", "-w: port 8147 is the client port (-p)"},
      {"-l -t 9100 -w 9100", "-w: port 9100 is the source's listening port (-l -t)"},
      {"-l -t 9100 -o 10.0.0.5 -w 9100", "-w: port 9100 is the source's listening port (-l -t)"},
      {"-a 10.0.0.5 -t 9100 -w 9100", ""},  // a port of the peer
      {"-l -r 1 -t 9100 -w 9100", ""},      // UDP
      {"-t 9100 -w 9100", ""},              // no network source
      {"-p 8080 -w 80800", ""},             // a bad port: no web port
  };
  for (const auto& [commandLine, problem] : cases) {
    EXPECT_EQ(PortConflict(ParseCommandLine(commandLine)), problem) << commandLine;
  }
}

}  // namespace
}  // namespace tavrik
