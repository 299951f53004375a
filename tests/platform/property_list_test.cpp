#include "platform/property_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/base64.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

TEST(Base64Test, RoundTripsAndRejectsMalformedText) {
  for (std::string text : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
    Value::Data bytes(text.begin(), text.end());
    EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes) << text;
  }
  EXPECT_EQ(encodeBase64(Value::Data{'f', 'o', 'o', 'b'}), "Zm9vYg==");
  EXPECT_EQ(decodeBase64("Zm9v\n YmFy"), (Value::Data{'f', 'o', 'o', 'b', 'a', 'r'}));
  EXPECT_FALSE(decodeBase64("Zm9").has_value());
  EXPECT_FALSE(decodeBase64("Zm=v").has_value());
  EXPECT_FALSE(decodeBase64("Zm9v$mFy").has_value());
  EXPECT_FALSE(decodeBase64("Zg==Zg==").has_value());
}

TEST(PropertyListTest, ParsesEveryValueType) {
  const auto parsed = parsePropertyList(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//X//DTD PLIST 1.0//EN" "http://example.invalid/plist.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.pemberquist.corvane</string>
  <key>Escaped</key><string>a &amp; b &lt;c&gt;</string>
  <key>Count</key><integer>-42</integer>
  <key>Scale</key><real>1.5</real>
  <key>On</key><true/>
  <key>Off</key><false/>
  <key>When</key><date>2026-01-05T09:00:00Z</date>
  <key>Blob</key><data>
    AAEC
  </data>
  <key>List</key><array><string>x</string><integer>1</integer></array>
  <key>Empty</key><string></string>
  <key>Nested</key><dict><key>inner</key><array/></dict>
</dict>
</plist>)");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const auto& dict = *parsed->asDictionary();
  EXPECT_EQ(*dict.at("CFBundleIdentifier").asString(), "com.pemberquist.corvane");
  EXPECT_EQ(*dict.at("Escaped").asString(), "a & b <c>");
  EXPECT_EQ(dict.at("Count").asInteger(), -42);
  EXPECT_EQ(dict.at("Scale").asReal(), 1.5);
  EXPECT_EQ(dict.at("On").asBool(), true);
  EXPECT_EQ(dict.at("Off").asBool(), false);
  EXPECT_EQ(dict.at("When").asDate(), runtime::wallTimeFromSeconds(1767603600));
  EXPECT_EQ(*dict.at("Blob").asData(), (Value::Data{0, 1, 2}));
  EXPECT_EQ(dict.at("List").asArray()->size(), 2u);
  EXPECT_EQ(*dict.at("Empty").asString(), "");
  EXPECT_TRUE(dict.at("Nested").asDictionary()->at("inner").asArray()->empty());
}

TEST(PropertyListTest, SerializedListsParseBackEqual) {
  Value::Dictionary dict{
      {"text", Value("<tag> & \"quote\"")},
      {"control", Value(std::string("bell\x07"))},
      {"int", Value(std::int64_t{1} << 40)},
      {"real", Value(0.1)},
      {"flag", Value(true)},
      {"date", Value(runtime::wallTimeFromSeconds(1767603600))},
      {"data", Value(Value::Data{255, 0, 7})},
      {"list", Value(Value::Array{Value("a"), Value(Value::Dictionary{})})},
  };
  const auto back = parsePropertyList(serializePropertyList(Value(dict)));
  ASSERT_TRUE(back.ok()) << back.message();
  auto expected = dict;
  expected["control"] = Value("bell\xEF\xBF\xBD");  // not representable in XML: replaced
  EXPECT_EQ(back.value(), Value(expected));
}

TEST(PropertyListTest, MalformedInputGivesAnErrorNamingTheProblem) {
  struct Case {
    const char* xml;
    const char* problem;
  };
  const Case cases[] = {
      {"<plist><dict><key>a</key></dict></plist>", "has no value"},
      {"<plist><dict><string>x</string></dict></plist>", "without a <key>"},
      {"<plist><dict><key>a</key><integer>12x</integer></dict></plist>", "not an integer"},
      {"<plist><real>fast</real></plist>", "not a number"},
      {"<plist><date>yesterday</date></plist>", "not a date"},
      {"<plist><data>***</data></plist>", "not Base64"},
      {"<plist><string>a</string><string>b</string></plist>", "more than one"},
      {"<plist><script/></plist>", "unknown element"},
      {"<plist><string><integer>1</integer></string></plist>", "inside a value"},
      {"<plist><dict>", "malformed"},
      {"", "malformed"},
      {"<plist></plist>", "holds no value"},
      {"<plist><key>a</key></plist>", "outside a dictionary"},
      {"<plist><array>loose</array></plist>", "text outside"},
      {"\x89PNG\r\n\x1a\n\x00\x00", "malformed"},
  };
  for (const auto& c : cases) {
    const auto result = parsePropertyList(c.xml);
    ASSERT_FALSE(result.ok()) << c.xml;
    EXPECT_NE(result.message().find(c.problem), std::string::npos)
        << c.xml << " -> " << result.message();
  }
}

TEST(PropertyListTest, RefusesEntityDeclarationsAndDeepNesting) {
  const auto laughs = parsePropertyList(
      "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>"
      "<plist><string>&b;</string></plist>");
  ASSERT_FALSE(laughs.ok());
  EXPECT_NE(laughs.message().find("entities"), std::string::npos);

  std::string deep = "<plist>";
  for (int i = 0; i < 1000; ++i) deep += "<array>";
  for (int i = 0; i < 1000; ++i) deep += "</array>";
  deep += "</plist>";
  const auto nested = parsePropertyList(deep);
  ASSERT_FALSE(nested.ok());
  EXPECT_NE(nested.message().find("too deep"), std::string::npos);
}

TEST(LoadBundleTest, ReadsTheInformationDictionary) {
  testing::TemporaryFolder root;
  std::ofstream(root / "Info.plist")
      << "<plist><dict><key>CFBundleIdentifier</key><string>com.pemberquist.corvane</string>"
         "</dict></plist>";
  const auto bundle = loadBundle(root.path());
  ASSERT_TRUE(bundle.ok()) << bundle.message();
  EXPECT_EQ(bundle->bundleIdentifier(), "com.pemberquist.corvane");
  EXPECT_EQ(bundle->executablePath(), root.path() / "bin" / "corvane");
}

TEST(LoadBundleTest, MissingMalformedOrNonDictionaryInfoGiveErrors) {
  testing::TemporaryFolder root;
  auto missing = loadBundle(root.path());
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("Could not load the application bundle"), std::string::npos);

  std::ofstream(root / "Info.plist") << "<plist><dict><key>x</key>";
  auto malformed = loadBundle(root.path());
  ASSERT_FALSE(malformed.ok());
  EXPECT_NE(malformed.message().find("malformed"), std::string::npos);

  std::ofstream(root / "Info.plist") << "<plist><array/></plist>";
  auto notDictionary = loadBundle(root.path());
  ASSERT_FALSE(notDictionary.ok());
  EXPECT_NE(notDictionary.message().find("not a dictionary"), std::string::npos);
}

}  // namespace
}  // namespace corvane::platform
