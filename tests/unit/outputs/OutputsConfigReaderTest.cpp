#include "outputs/OutputsConfigReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <utility>

#include "platform/HttpClient.h"
#include "png/PngWriter.h"
#include "rules/RegexPattern.h"

namespace tavrik {
namespace {

std::string ErrorOf(const std::string& text, bool mqttAvailable = true) {
  auto result = ReadOutputsConfig(text, "o.toml", mqttAvailable);
  if (const auto* error = std::get_if<ConfigError>(&result)) return error->message;
  return "(no error)";
}

OutputsConfig Read(const std::string& text) {
  auto result = ReadOutputsConfig(text, "o.toml", true);
  if (const auto* error = std::get_if<ConfigError>(&result)) ADD_FAILURE() << error->message;
  return std::get_if<OutputsConfig>(&result) ? std::get<OutputsConfig>(result) : OutputsConfig{};
}

TEST(OutputsConfigReaderTest, ReadsEveryKeyAndLeavesDefaultsForTheRest) {
  const OutputsConfig config = Read(R"(
mask_card_numbers = false

[[recorder]]
protocol = "udp"
host = "10.0.0.5"
port = 9000
start = "BEGIN"
end = "END"
wrap = 40
line_end = "\n"
encoding = "latin1"
queue = 50

[[recorder]]
host = "nvr"
port = 10000

[[text_server]]
port = 9100
address = "127.0.0.1"
encoding = "ascii"

[mqtt]
host = "broker"
port = 8883
client_id = "till7"
topic = "shop/till7"
username = "u"
password = "p"
ca_file = "ca.pem"
cert_file = "c.pem"
key_file = "k.pem"
qos = 0
keepalive = 60
queue = 10
raw = true
)");
  EXPECT_FALSE(config.maskCardNumbers);
  ASSERT_EQ(config.recorders.size(), 2u);
  const RecorderConfig& udp = config.recorders[0];
  EXPECT_EQ(udp.protocol, RecorderProtocol::kUdp);
  EXPECT_EQ(udp.host, "10.0.0.5");
  EXPECT_EQ(udp.port, 9000);
  EXPECT_EQ(udp.queue, 50);
  EXPECT_EQ(udp.format.start, "BEGIN");
  EXPECT_EQ(udp.format.end, "END");
  EXPECT_EQ(udp.format.wrap, 40);
  EXPECT_EQ(udp.format.lineEnd, "\n");
  EXPECT_EQ(udp.format.encoding, TextEncoding::kLatin1);
  const RecorderConfig& tcp = config.recorders[1];
  EXPECT_EQ(tcp.protocol, RecorderProtocol::kTcp);
  EXPECT_EQ(tcp.queue, 200);
  EXPECT_EQ(tcp.format.lineEnd, "\r\n");
  EXPECT_EQ(tcp.format.encoding, TextEncoding::kUtf8);
  EXPECT_EQ(tcp.format.wrap, 0);
  ASSERT_EQ(config.textServers.size(), 1u);
  EXPECT_EQ(config.textServers[0].port, 9100);
  EXPECT_EQ(config.textServers[0].address, "127.0.0.1");
  EXPECT_EQ(config.textServers[0].format.encoding, TextEncoding::kAscii);
  ASSERT_TRUE(config.mqtt);
  EXPECT_EQ(config.mqtt->host, "broker");
  EXPECT_EQ(config.mqtt->port, 8883);
  EXPECT_EQ(config.mqtt->clientId, "till7");
  EXPECT_EQ(config.mqtt->topic, "shop/till7");
  EXPECT_EQ(config.mqtt->username, "u");
  EXPECT_EQ(config.mqtt->password, "p");
  EXPECT_EQ(config.mqtt->caFile, "ca.pem");
  EXPECT_EQ(config.mqtt->certFile, "c.pem");
  EXPECT_EQ(config.mqtt->keyFile, "k.pem");
  EXPECT_EQ(config.mqtt->qos, 0);
  EXPECT_EQ(config.mqtt->keepalive, 60);
  EXPECT_EQ(config.mqtt->queue, 10);
  EXPECT_TRUE(config.mqtt->raw);
}

TEST(OutputsConfigReaderTest, MqttDefaultsAndMaskingOn) {
  const OutputsConfig config = Read("[mqtt]\nhost = \"b\"\ntopic = \"t\"\n");
  ASSERT_TRUE(config.mqtt);
  EXPECT_EQ(config.mqtt->port, 1883);
  EXPECT_EQ(config.mqtt->clientId, "TavrikSrv");
  EXPECT_EQ(config.mqtt->qos, 1);
  EXPECT_EQ(config.mqtt->keepalive, 30);
  EXPECT_EQ(config.mqtt->queue, 1000);
  EXPECT_FALSE(config.mqtt->raw);
  EXPECT_TRUE(config.maskCardNumbers);
  EXPECT_TRUE(Read("").Empty());
}

TEST(OutputsConfigReaderTest, AJournalAloneIsValidWithItsDefaultsAndItsKeysChecked) {
  const OutputsConfig config = Read("\n[journal]\npath = \"/var/lib/t/j.db\"\n");
  ASSERT_TRUE(config.journal);
  EXPECT_TRUE(config.Empty());
  EXPECT_EQ(config.journal->path, "/var/lib/t/j.db");
  EXPECT_EQ(config.journal->tableLine, 2u);
  EXPECT_EQ(config.journal->pathLine, 3u);
  EXPECT_EQ(config.journal->retentionDays, 90);
  EXPECT_EQ(config.journal->maxMb, 1024);
  EXPECT_FALSE(config.journal->storeRaw);
  const OutputsConfig set = Read("[journal]\npath = \"j\"\nretention_days = 7\nmax_mb = 5\nstore_raw = true\n");
  EXPECT_EQ(set.journal->retentionDays, 7);
  EXPECT_EQ(set.journal->maxMb, 5);
  EXPECT_TRUE(set.journal->storeRaw);
  EXPECT_EQ(ErrorOf("\n[journal]\nmax_mb = 5\n"), "o.toml:2: journal.path: missing");
  EXPECT_EQ(ErrorOf("[journal]\npath = \"\"\n"), "o.toml:2: journal.path: must not be empty");
  EXPECT_EQ(ErrorOf("[journal]\npath = \"j\"\nretention_days = 0\n"),
            "o.toml:3: journal.retention_days: must be a whole number from 1 to 36500");
  EXPECT_EQ(ErrorOf("[journal]\npath = \"j\"\nmax_mb = 0\n"),
            "o.toml:3: journal.max_mb: must be a whole number from 1 to 1048576");
  EXPECT_EQ(ErrorOf("[journal]\npath = \"j\"\nsize = 1\n"), "o.toml:3: journal.size: unknown key");
  EXPECT_EQ(ErrorOf("journal = 1\n"), "o.toml:1: journal: must be a table: [journal]");
}

TEST(OutputsConfigReaderTest, SyntaxErrorsNameTheFileAndLine) {
  EXPECT_THAT(ErrorOf("[[recorder]]\nhost = \n"), ::testing::StartsWith("o.toml:2: "));
}

TEST(OutputsConfigReaderTest, UnknownKeysAndTablesAreErrors) {
  EXPECT_EQ(ErrorOf("\ncolour = 1\n"), "o.toml:2: colour: unknown key");
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = \"h\"\nport = 1\nhots = \"x\"\n"), "o.toml:4: recorder[1].hots: unknown key");
  EXPECT_EQ(ErrorOf("[[text_server]]\nport = 1\nadress = \"x\"\n"), "o.toml:3: text_server[1].adress: unknown key");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"b\"\ntopic = \"t\"\nretain = true\n"), "o.toml:4: mqtt.retain: unknown key");
}

TEST(OutputsConfigReaderTest, TablesMustHaveTheirShape) {
  EXPECT_EQ(ErrorOf("[recorder]\nhost = \"h\"\n"), "o.toml:1: recorder: must be written [[recorder]]");
  EXPECT_EQ(ErrorOf("text_server = 5\n"), "o.toml:1: text_server: must be written [[text_server]]");
  EXPECT_EQ(ErrorOf("[[mqtt]]\nhost = \"b\"\n"), "o.toml:1: mqtt: must be a table: [mqtt]");
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "[[recorder]]\nhost = \"h\"\nport = 1\n";
  EXPECT_EQ(ErrorOf(nine), "o.toml:25: recorder: at most 8 recorders");
  std::string nineServers;
  for (int i = 0; i < 9; ++i) nineServers += "[[text_server]]\nport = 1\n";
  EXPECT_EQ(ErrorOf(nineServers), "o.toml:17: text_server: at most 8 text servers");
}

TEST(OutputsConfigReaderTest, RequiredKeysAreNamedAtTheirTable) {
  EXPECT_EQ(ErrorOf("\n[[recorder]]\nport = 1\n"), "o.toml:2: recorder[1].host: missing");
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = \"h\"\nport = 1\n[[recorder]]\nhost = \"h\"\n"),
            "o.toml:4: recorder[2].port: missing");
  EXPECT_EQ(ErrorOf("[[text_server]]\nwrap = 3\n"), "o.toml:1: text_server[1].port: missing");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"b\"\n"), "o.toml:1: mqtt.topic: missing");
  EXPECT_EQ(ErrorOf("[mqtt]\ntopic = \"t\"\n"), "o.toml:1: mqtt.host: missing");
}

TEST(OutputsConfigReaderTest, ValuesOutOfRangeOrOfTheWrongType) {
  const std::string recorder = "[[recorder]]\nhost = \"h\"\nport = 1\n";
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = \"h\"\nport = 0\n"),
            "o.toml:3: recorder[1].port: must be a whole number from 1 to 65535");
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = \"h\"\nport = \"80\"\n"),
            "o.toml:3: recorder[1].port: must be a whole number from 1 to 65535");
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = 5\nport = 1\n"), "o.toml:2: recorder[1].host: must be a string");
  EXPECT_EQ(ErrorOf("[[recorder]]\nhost = \"\"\nport = 1\n"), "o.toml:2: recorder[1].host: must not be empty");
  EXPECT_EQ(ErrorOf(recorder + "protocol = \"http\"\n"), R"(o.toml:4: recorder[1].protocol: must be "tcp" or "udp")");
  EXPECT_EQ(ErrorOf(recorder + "queue = 0\n"), "o.toml:4: recorder[1].queue: must be a whole number from 1 to 100000");
  EXPECT_EQ(ErrorOf(recorder + "wrap = 1001\n"), "o.toml:4: recorder[1].wrap: must be a whole number from 0 to 1000");
  EXPECT_EQ(ErrorOf(recorder + "start = \"a\\nb\"\n"), "o.toml:4: recorder[1].start: must not contain a line break");
  EXPECT_EQ(ErrorOf(recorder + "end = \"a\\rb\"\n"), "o.toml:4: recorder[1].end: must not contain a line break");
  EXPECT_EQ(ErrorOf(recorder + "line_end = \"\\n\\r\"\n"),
            R"(o.toml:4: recorder[1].line_end: must be "\r\n", "\n" or "\r")");
  EXPECT_EQ(ErrorOf(recorder + "encoding = \"gb2312\"\n"),
            R"(o.toml:4: recorder[1].encoding: must be "utf-8", "latin1" or "ascii")");
  EXPECT_EQ(ErrorOf("\nmask_card_numbers = \"no\"\n"), "o.toml:2: mask_card_numbers: must be true or false");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"b\"\ntopic = \"t\"\nraw = 1\n"), "o.toml:4: mqtt.raw: must be true or false");
}

TEST(OutputsConfigReaderTest, HostsAreAddressesOrNamesAndListenersTakeLocalAddresses) {
  const auto recorderError = [](const std::string& host) {
    return ErrorOf("[[recorder]]\nhost = \"" + host + "\"\nport = 1\n");
  };
  for (const char* good : {"10.0.0.5", "255.255.255.255", "0.0.0.0", "::1", "::", "fe80::1%eth0", "1:2:3:4:5:6:7:8",
                           "::ffff:192.0.2.1", "2001:db8::", "nvr", "nvr-2.shop.example", "example.com.", "3com.com"}) {
    EXPECT_EQ(recorderError(good), "(no error)") << good;
  }
  for (const char* bad : {"999.1.1.1", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.", "12345", "1:2:3:4:5:6:7",
                          "1:2:3:4:5:6:7:8:9", "1::2::3", ":1::", "1:", "12345::", "::1%", "-nvr", "nvr-", "nv_r",
                          "a..b", "h\xc3\xa9", "nvr:9000", "[::1]", "tcp://nvr"}) {
    EXPECT_EQ(recorderError(bad), "o.toml:2: recorder[1].host: must be an IP address or a host name") << bad;
  }
  EXPECT_EQ(recorderError(std::string(63, 'a') + "." + std::string(63, 'b')), "(no error)");
  EXPECT_NE(recorderError(std::string(64, 'a')), "(no error)");
  EXPECT_NE(recorderError(std::string(127, 'a') + "." + std::string(127, 'b')), "(no error)");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"broker.\"\ntopic = \"t\"\n"), "(no error)");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"256.0.0.1\"\ntopic = \"t\"\n"),
            "o.toml:2: mqtt.host: must be an IP address or a host name");
  for (const char* local : {"127.0.0.1", "::1", "localhost"}) {
    EXPECT_EQ(ErrorOf("[[text_server]]\nport = 1\naddress = \"" + std::string(local) + "\"\n"), "(no error)");
  }
  EXPECT_EQ(ErrorOf("[[text_server]]\nport = 1\naddress = \"999.1.1.1\"\n"),
            "o.toml:3: text_server[1].address: must be a local IP address or localhost");
}

TEST(OutputsConfigReaderTest, MqttChecks) {
  const std::string mqtt = "[mqtt]\nhost = \"b\"\ntopic = \"t\"\n";
  EXPECT_EQ(ErrorOf(mqtt, false), "o.toml:1: mqtt: this build has no MQTT support");
  EXPECT_EQ(ErrorOf("[mqtt]\nhost = \"b\"\ntopic = \"a/#\"\n"), "o.toml:3: mqtt.topic: must not contain + or #");
  EXPECT_EQ(ErrorOf(mqtt + "qos = 2\n"), "o.toml:4: mqtt.qos: must be a whole number from 0 to 1");
  EXPECT_EQ(ErrorOf(mqtt + "keepalive = 1\n"), "o.toml:4: mqtt.keepalive: must be a whole number from 5 to 65535");
  EXPECT_EQ(ErrorOf(mqtt + "cert_file = \"c\"\n"), "o.toml:1: mqtt.key_file: missing (cert_file and key_file go together)");
  EXPECT_EQ(ErrorOf(mqtt + "key_file = \"k\"\n"), "o.toml:1: mqtt.cert_file: missing (cert_file and key_file go together)");
  EXPECT_EQ(ErrorOf(mqtt + "password = \"p\"\n"), "o.toml:1: mqtt.username: missing (a password needs a username)");
}

// [web] alone is a valid file; it configures the web port, not an output.
TEST(OutputsConfigReaderTest, WebKeysAndTheirChecks) {
  const OutputsConfig defaults = Read("[web]\n");
  ASSERT_TRUE(defaults.web);
  EXPECT_TRUE(defaults.Empty());
  EXPECT_EQ(defaults.web->access.realm, "TavrikSrv");
  EXPECT_TRUE(defaults.web->access.metricsPublic);
  const OutputsConfig web = Read(
      "[web]\nusers_file = \"u\"\nrealm = \"Front desk\"\nmetrics_public = false\ntls_cert = \"c\"\ntls_key = \"k\"\n");
  EXPECT_EQ(web.web->usersFile, "u");
  EXPECT_EQ(web.web->access.realm, "Front desk");
  EXPECT_FALSE(web.web->access.metricsPublic);
  EXPECT_EQ(web.web->access.tlsCert, "c");
  EXPECT_EQ(web.web->access.tlsKey, "k");
  EXPECT_EQ(web.web->lines.at("web.tls_key"), 6u);
  EXPECT_EQ(ErrorOf("web = 1\n"), "o.toml:1: web: must be a table: [web]");
  EXPECT_EQ(ErrorOf("[web]\nuser_file = \"u\"\n"), "o.toml:2: web.user_file: unknown key");
  EXPECT_EQ(ErrorOf("[web]\nrealm = \"a\\\"b\"\n"), "o.toml:2: web.realm: must not contain quotes, backslashes or control characters");
  EXPECT_EQ(ErrorOf("[web]\nmetrics_public = 1\n"), "o.toml:2: web.metrics_public: must be true or false");
  EXPECT_EQ(ErrorOf("[web]\nusers_file = \"\"\n"), "o.toml:2: web.users_file: must not be empty");
  EXPECT_EQ(ErrorOf("[web]\ntls_cert = \"c\"\n"), "o.toml:1: web.tls_key: missing (tls_cert and tls_key go together)");
}

}  // namespace
}  // namespace tavrik

namespace tavrik {
namespace {

TEST(OutputsConfigReaderTest, NonAsciiOnlyInStringsAndComments) {
  const OutputsConfig config = Read(
      "# Caf\xc3\xa9\n[[recorder]]\nhost = \"h\"\nport = 1\nstart = '\xe2\x82\xac'\n"
      "end = \"\"\"\nx\\\"\"\"\xc3\xa9\"\"\"\n[mqtt]\nhost = \"b\"\ntopic = \"h\xc3\xa9\"\n");
  ASSERT_EQ(config.recorders.size(), 1u);
  EXPECT_EQ(config.mqtt->topic, "h\xc3\xa9");
  EXPECT_EQ(config.recorders[0].format.start, "\xe2\x82\xac");
  // A line-ending backslash trims up to the next character, whatever it is.
  const OutputsConfig trimmed = Read("[[recorder]]\nhost = \"h\"\nport = 1\nend = \"\"\"x\\ \n\n  \xca\x85\"\"\"\n");
  ASSERT_EQ(trimmed.recorders.size(), 1u);
  EXPECT_EQ(trimmed.recorders[0].format.end, "x\xca\x85");
  // Beyond ASCII where TOML wants none: an error on its line, never a crash.
  const std::pair<const char*, const char*> strays[] = {
      {"# ok\n[[recorder]]\nh\xc3\xa9st = \"h\"\n", "o.toml:3: "},
      {"a = \"x\"\n\xc2\xa1", "o.toml:2: "},
      {"a = 9'\xca\x85'\n", "o.toml:1: "},
      {"a = \"\\\xca\x85\"\n", "o.toml:1: "},
      {"o=+[\"\xc3\xa9", "o.toml:1: "},
      {"a = \xe3\x81\x82\n", "o.toml:1: "},
      {"a = \xef\xbb\xbf" "1\n", "o.toml:1: "},
  };
  for (const auto& [text, start] : strays) {
    EXPECT_THAT(ErrorOf(text), ::testing::StartsWith(start)) << text;
  }
}

TEST(OutputsConfigReaderTest, ReadsTheRenderTableOffByDefault) {
  EXPECT_FALSE(Read("").render.pictures);
  const OutputsConfig config = Read("[render]\npictures = true\nwidth_dots = 384\n");
  EXPECT_TRUE(config.render.pictures);
  EXPECT_EQ(config.render.widthDots, 384);
  EXPECT_TRUE(config.Empty());  // no output to run for it
  EXPECT_EQ(ErrorOf("[render]\nwidth_dots = 32\n"), "o.toml:2: render.width_dots: must be a whole number from 64 to 4096");
  EXPECT_EQ(ErrorOf("render = 1\n"), "o.toml:1: render: must be a table: [render]");
  EXPECT_EQ(ErrorOf("[render]\nocr = true\n"), "o.toml:2: render.ocr: unknown key");
}

}  // namespace
}  // namespace tavrik

namespace tavrik {
namespace {

TEST(OutputsConfigReaderTest, RulesAloneAreAFileAndKeepEveryKey) {
  if (!RegexAvailable()) GTEST_SKIP() << "this build has no regular expression support (RE2)";
  const OutputsConfig config = Read(R"(
name = "till 3"
[[rule]]
name = "refund"
match = "REFUND"
case_sensitive = true
words = ["VOID", "STORNO"]
wildcard = "REF*ND ?"
regex = "RE(FUND)?"
outputs = ["web"]
[[rule]]
name = "big"
amount_after = "TOTAL"
above = 500
below = 10000.5
drawer = "any"
[[rule]]
name = "open drawer"
drawer_open_longer_than = 2.5
drawer_open_level = "high"
)");
  EXPECT_TRUE(config.Empty());  // no output: rules need none
  EXPECT_EQ(config.till, "till 3");
  ASSERT_EQ(config.rules.size(), 3u);
  const RuleConfig& refund = config.rules[0];
  EXPECT_EQ(refund.line, 3u);
  EXPECT_EQ(refund.words, (std::vector<std::string>{"VOID", "STORNO"}));
  EXPECT_TRUE(refund.caseSensitive);
  EXPECT_EQ(refund.regex, "RE(FUND)?");
  EXPECT_EQ(refund.outputs, std::vector<std::string>{"web"});
  EXPECT_EQ(config.rules[1].above, 500.0);
  EXPECT_EQ(config.rules[1].below, 10000.5);
  EXPECT_EQ(config.rules[1].drawer, DrawerCondition::kAny);
  EXPECT_EQ(config.rules[2].drawerOpenTenths, 25);
  EXPECT_TRUE(config.rules[2].drawerOpenHigh);
}

TEST(OutputsConfigReaderTest, RuleProblemsNameTheirLineAndKey) {
  const std::string rule = "[[rule]]\nname = \"r\"\n";
  std::string many;
  for (int i = 0; i <= 64; ++i) many += "[[rule]]\nname = \"r" + std::to_string(i) + "\"\nmatch = \"x\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {"[[rule]]\nmatch = \"x\"\n", "o.toml:1: rule[1].name: missing"},
      {rule, "o.toml:1: rule[1].match: missing (a rule needs a condition)"},
      {rule + "match = \"x\"\n" + rule + "match = \"y\"\n", "o.toml:5: rule[2].name: another rule has this name"},
      {rule + "regex = \"(a\"\n", RegexAvailable()
                                       ? "o.toml:3: rule[1].regex: missing ): (a"
                                       : "o.toml:3: rule[1].regex: this build has no regular expression support (RE2)"},
      {rule + "words = []\n", "o.toml:3: rule[1].words: must not be empty"},
      {rule + "words = [\"\"]\n", "o.toml:3: rule[1].words: must not be empty"},
      {rule + "above = 5\n", "o.toml:1: rule[1].amount_after: missing (above and below need it)"},
      {rule + "amount_after = \"TOTAL\"\n", "o.toml:1: rule[1].above: missing (amount_after needs above or below)"},
      {rule + "amount_after = \"TOTAL\"\nabove = \"5\"\n", "o.toml:4: rule[1].above: must be a number"},
      {rule + "drawer = \"open\"\n", R"(o.toml:3: rule[1].drawer: must be "any" or "without_text")"},
      {rule + "drawer_open_longer_than = 0\n",
       "o.toml:3: rule[1].drawer_open_longer_than: must be a number of seconds from 0.1 to 86400"},
      {rule + "drawer_open_level = \"low\"\nmatch = \"x\"\n",
       "o.toml:1: rule[1].drawer_open_longer_than: missing (drawer_open_level needs it)"},
      {rule + "drawer_open_longer_than = 30\nmatch = \"x\"\n",
       "o.toml:1: rule[1].drawer_open_longer_than: cannot go with conditions on the receipt: make it a rule of its own"},
      {rule + "match = \"x\"\noutputs = [\"mqtt\"]\n", R"(o.toml:1: rule[1].outputs: no event output named "mqtt")"},
      {rule + "match = \"x\"\nlevel = 1\n", "o.toml:4: rule[1].level: unknown key"},
      {"[rule]\nname = \"r\"\n", "o.toml:1: rule: must be written [[rule]]"},
      {"name = \"\"\n", "o.toml:1: name: must not be empty"},
      {many, "o.toml:193: rule: at most 64 rules"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ErrorOf(text), error) << text;
}

TEST(OutputsConfigReaderTest, EventOutputsOfEveryTypeWithTheirDefaults) {
  if (!HttpClientAvailable()) {
    EXPECT_EQ(ErrorOf("[[event]]\nname = \"a\"\ntype = \"nx\"\n"), "o.toml:3: event[1].type: this build has no HTTP client");
    GTEST_SKIP() << "this build has no HTTP client";
  }
  const OutputsConfig config = Read(R"(
[[event]]
name = "hook"
type = "webhook"
url = "https://hooks.example/x"
headers = ["X-Shop: 7"]
auth = "bearer"
token = "t"
[[event]]
name = "nvr"
type = "frigate"
url = "http://nvr:5000"
camera = "till"
[[event]]
name = "zm"
type = "zoneminder"
host = "zm.local"
monitor = "4"
[[event]]
name = "xp"
type = "milestone"
host = "10.0.0.9"
protocol = "udp"
)");
  ASSERT_EQ(config.events.size(), 4u);
  EXPECT_FALSE(config.Empty());
  EXPECT_EQ(config.events[0].headers, std::vector<std::string>{"X-Shop: 7"});
  EXPECT_EQ(config.events[0].auth, EventAuth::kBearer);
  EXPECT_EQ(config.events[1].label, "receipt");
  EXPECT_EQ(config.events[1].duration, 30);
  EXPECT_EQ(config.events[2].port, 0);  // the type's usual one
  EXPECT_TRUE(config.events[3].udp);
  EXPECT_EQ(config.events[3].queue, 100);
}

TEST(OutputsConfigReaderTest, EventOutputErrors) {
  if (!HttpClientAvailable()) GTEST_SKIP() << "this build has no HTTP client";
  const std::string hook = "[[event]]\nname = \"a\"\ntype = \"webhook\"\nurl = \"http://h/\"\n";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"[[event]]\ntype = \"webhook\"\nurl = \"http://h\"\n", "o.toml:1: event[1].name: missing"},
      {"[[event]]\nname = \"a\"\ntype = \"sms\"\n",
       R"(o.toml:3: event[1].type: must be "webhook", "frigate", "zoneminder", "nx" or "milestone")"},
      {"[[event]]\nname = \"a\"\ntype = \"frigate\"\nurl = \"http://h\"\n", R"(o.toml:1: event[1].camera: missing (type "frigate"))"},
      {"[[event]]\nname = \"a\"\ntype = \"webhook\"\nurl = \"ftp://h\"\n", "o.toml:4: event[1].url: must begin with http:// or https://"},
      {hook + "monitor = \"4\"\n", R"(o.toml:5: event[1].monitor: does not apply to type "webhook")"},
      {hook + "auth = \"bearer\"\n", "o.toml:1: event[1].token: missing (bearer auth needs a token)"},
      {hook + "headers = [\"NoColon\"]\n", R"(o.toml:5: event[1].headers: each must be one line "Name: value")"},
      {hook + hook, "o.toml:6: event[2].name: another [[event]] has this name"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ErrorOf(text), error) << text;
  std::string seventeen;
  for (int i = 0; i < 17; ++i) seventeen += "[[event]]\nname = \"e" + std::to_string(i) + "\"\ntype = \"milestone\"\nhost = \"h\"\n";
  EXPECT_EQ(ErrorOf(seventeen), "o.toml:65: event: at most 16 event outputs");
}

TEST(OutputsConfigReaderTest, PicturesGoOnlyToMqttAndWebhooksThatAskAndOnlyFromABuildThatDrawsThem) {
  const std::string mqtt = "[mqtt]\nhost = \"b\"\ntopic = \"t\"\n";
  const std::string hook = "[[event]]\nname = \"a\"\ntype = \"webhook\"\nurl = \"http://h/\"\n";
  if (!PngWriter::Available()) {
    EXPECT_EQ(ErrorOf(mqtt + "png = true\n"), "o.toml:4: mqtt.png: this build has no PNG support");
    GTEST_SKIP() << "this build has no PNG support";
  }
  EXPECT_FALSE(Read(mqtt).mqtt->png);
  EXPECT_TRUE(Read(mqtt + "png = true\n").mqtt->png);
  EXPECT_EQ(ErrorOf(mqtt + "png = \"yes\"\n"), "o.toml:4: mqtt.png: must be true or false");
  if (!HttpClientAvailable()) GTEST_SKIP() << "this build has no HTTP client";
  const OutputsConfig events = Read(hook + "png = true\n" + "[[event]]\nname = \"b\"\ntype = \"webhook\"\nurl = \"http://h/\"\n");
  EXPECT_TRUE(events.events[0].png);
  EXPECT_FALSE(events.events[1].png);
  const std::vector<std::pair<std::string, std::string>> cases{
      {"[[event]]\nname = \"a\"\ntype = \"frigate\"\nurl = \"http://h\"\ncamera = \"c\"\npng = true\n",
       R"(o.toml:6: event[1].png: does not apply to type "frigate")"},
      {"[[event]]\nname = \"a\"\ntype = \"milestone\"\nhost = \"h\"\npng = false\n",
       R"(o.toml:5: event[1].png: does not apply to type "milestone")"},
      {hook + "png = 1\n", "o.toml:5: event[1].png: must be true or false"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ErrorOf(text), error) << text;
}

}  // namespace
}  // namespace tavrik
