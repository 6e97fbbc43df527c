#include "platform/SerialSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/PlatformError.h"

namespace tavrik {
namespace {

struct GoodForm {
  std::string text;
  SerialSettings expected;
};

TEST(SerialSettingsTest, ParsesEveryAcceptedForm) {
  const std::vector<GoodForm> forms = {
      {"9600,n,8,1", {9600, 'n', 8, 10}},         {"19200,E,7,1", {19200, 'e', 7, 10}},
      {"115200,o,8,2", {115200, 'o', 8, 20}},     {"9600,m,8,1.5", {9600, 'm', 8, 15}},
      {"300,S,5,2", {300, 's', 5, 20}},           {"1200,N,6,1", {1200, 'n', 6, 10}},
      {"14400,O,8,1", {14400, 'o', 8, 10}},       {"4000000,M,7,1.5", {4000000, 'm', 7, 15}},
      {" 9600 , n , 8 , 1 ", {9600, 'n', 8, 10}}, {"\t38400,\te ,7\t, 2\t", {38400, 'e', 7, 20}},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.text);
    const SerialSettings parsed = ParseSerialSettings(form.text);
    EXPECT_EQ(parsed.baud, form.expected.baud);
    EXPECT_EQ(parsed.parity, form.expected.parity);
    EXPECT_EQ(parsed.dataBits, form.expected.dataBits);
    EXPECT_EQ(parsed.stopBitsTimesTen, form.expected.stopBitsTimesTen);
  }
}

TEST(SerialSettingsTest, RejectsMalformedTextWithNumberAndDescription) {
  const std::vector<std::string> forms = {
      "",                   // the -b switch without a value
      " ",                  //
      "9600",               // too few fields
      "9600,n,8",           //
      "9600,n,8,1,",        // too many fields
      "9600,n,8,1,x",       //
      "9600;n;8;1",         // wrong separator
      ",n,8,1",             // baud missing
      "0,n,8,1",            // baud not positive
      "-9600,n,8,1",        //
      "+9600,n,8,1",        //
      "96 00,n,8,1",        // blank inside a field
      "9600x,n,8,1",        //
      "9600.5,n,8,1",       //
      "99999999999,n,8,1",  // beyond any rate
      "9600,,8,1",          // parity missing
      "9600,x,8,1",         // unknown parity
      "9600,no,8,1",        //
      "9600,n,4,1",         // data bits out of range
      "9600,n,9,1",         //
      "9600,n,x,1",         //
      "9600,n,8,",          // stop bits missing
      "9600,n,8,0",         // unsupported stop bits
      "9600,n,8,3",         //
      "9600,n,8,1.25",      //
      "9600,n,8,one",       //
  };
  for (const auto& text : forms) {
    SCOPED_TRACE("'" + text + "'");
    try {
      ParseSerialSettings(text);
      ADD_FAILURE() << "accepted";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Number(), 380);
      EXPECT_EQ(e.Description(),
                "Invalid property value: serial settings '" + text +
                    "' (expected baud,parity,data bits,stop bits such as 9600,n,8,1)");
    }
  }
}

}  // namespace
}  // namespace tavrik
