#include "Foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Elements = std::vector<std::optional<std::string>>;

TEST(PropertyList, DataArraysRoundTripWithEveryByteValue) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    // Lengths 0 to 3 cover every padding; the long item wraps over lines.
    std::vector<std::string> items = {"", "a", "ab", "abc", "{\n  \"token\": \"s3cr\xC3\xA9t\"\n}", all};
    std::string xml = PropertyListSerialization::dataWithDataArray(items);
    EXPECT_TRUE(xml.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist"));
    EXPECT_NE(xml.find("<array>\n\t<data>\n\t</data>\n\t<data>\n\tYQ==\n\t</data>"), std::string::npos)
        << xml;

    Error error;
    auto read = PropertyListSerialization::dataArrayWithData(xml, &error);
    ASSERT_TRUE(read) << error.recoverySuggestion;
    ASSERT_EQ(read->size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ((*read)[i], items[i]) << i;

    auto empty =
        PropertyListSerialization::dataArrayWithData(PropertyListSerialization::dataWithDataArray({}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(PropertyList, ElementsOfOtherKindsAndBrokenDataReadAsNone) {
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- written elsewhere -->
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<array>
  <string>a &lt;text&gt;</string>
  <data>eyJ0eXBlIjoicGFzc3dvcmQifQ==</data>
  <dict><key>k</key><data>YQ==</data></dict>
  <data>not base64!</data>
  <data/>
  <array><data>YQ==</data></array>
  <integer>7</integer>
  <data>
     YW
     Jj
  </data>
</array>
</plist>)";
    auto read = PropertyListSerialization::dataArrayWithData(xml);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, (Elements{std::nullopt, std::string(R"({"type":"password"})"), std::nullopt,
                               std::nullopt, std::string(), std::nullopt, std::nullopt, std::string("abc")}));
}

TEST(PropertyList, TextsThatAreNotAnArrayListAreRefused) {
    for (const char* text :
         {"", "just text", "<plist version=\"1.0\"><dict/></plist>", "<plist><array><data>YQ==</data>",
          "<plist><array><data>YQ==</array></plist>", "{\"json\": true}", "<plist><array></dict></plist>"}) {
        Error error;
        EXPECT_FALSE(PropertyListSerialization::dataArrayWithData(text, &error)) << text;
        EXPECT_EQ(error.domain, PropertyListSerialization::ErrorDomain) << text;
        EXPECT_FALSE(error.localizedDescription.empty());
    }
    // Without the plist wrapper the root array is still read.
    EXPECT_TRUE(PropertyListSerialization::dataArrayWithData("<array><data>YQ==</data></array>"));
}

TEST(PropertyList, Base64RefusesWhatIsNotBase64) {
    EXPECT_EQ(PropertyListSerialization::base64Encoded("hello"), "aGVsbG8=");
    EXPECT_EQ(PropertyListSerialization::base64Decoded("aGVs\nbG8="), "hello");
    for (const char* bad : {"aGVsbG8", "aGVs=G8=", "aG=====", "a*==", "===="})
        EXPECT_FALSE(PropertyListSerialization::base64Decoded(bad)) << bad;
}

} // namespace
