#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedClassRegistry.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Foundation/UserDefaults.h"

#include <gtest/gtest.h>

namespace {

// A minimal archivable class; the model base does the same for every model.
class ArchivePoint : public KeyedCoding {
public:
    ArchivePoint(int x, int y) : x(x), y(y) {}
    std::string archiveClassName() const override { return "ArchivePoint"; }
    nlohmann::json encodeWithCoder() const override {
        return {{"$class", "ArchivePoint"}, {"x", x}, {"y", y}};
    }
    int x, y;
};

class ArchiveLabel : public KeyedCoding {
public:
    std::string archiveClassName() const override { return "ArchiveLabel"; }
    nlohmann::json encodeWithCoder() const override { return {{"$class", "ArchiveLabel"}}; }
};

void registerClasses() {
    auto& r = KeyedClassRegistry::shared();
    r.registerClass(
        "ArchivePoint", [](const nlohmann::json& j, Error* error) -> std::shared_ptr<KeyedCoding> {
            if (!j.contains("x") || !j["x"].is_number_integer()) {
                if (error)
                    *error = Error(KeyedArchiver::ErrorDomain, KeyedArchiver::ErrorInvalidValue, "bad point");
                return nullptr;
            }
            return std::make_shared<ArchivePoint>(j["x"].get<int>(), j.value("y", 0));
        });
    r.registerClass("ArchiveLabel",
                    [](const nlohmann::json&, Error*) { return std::make_shared<ArchiveLabel>(); });
    r.registerClassName("LegacyPoint", "ArchivePoint");
}

class KeyedArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { registerClasses(); }
};

TEST_F(KeyedArchiveTest, ArraysRoundTripWithClassNamesAndNullElements) {
    std::vector<std::shared_ptr<ArchivePoint>> points{std::make_shared<ArchivePoint>(1, 2), nullptr,
                                                      std::make_shared<ArchivePoint>(-3, 4)};
    auto data = KeyedArchiver::archivedDataWithArray(points);
    EXPECT_EQ(data["$root"][0]["$class"], "ArchivePoint");

    // Stored as a user default and read back as text, it still decodes.
    auto reparsed = nlohmann::json::parse(data.dump());
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<ArchivePoint>(reparsed, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription;
    ASSERT_EQ(decoded->size(), 3u);
    EXPECT_EQ((*decoded)[0]->x, 1);
    EXPECT_EQ((*decoded)[0]->y, 2);
    EXPECT_EQ((*decoded)[1], nullptr);
    EXPECT_EQ((*decoded)[2]->x, -3);

    auto one = KeyedUnarchiver::unarchiveObjectOfClass<ArchivePoint>(
        KeyedArchiver::archivedDataWithRootObject(ArchivePoint(7, 8)), &error);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->y, 8);

    auto empty = KeyedUnarchiver::unarchiveArrayOfClass<ArchivePoint>(
        KeyedArchiver::archivedDataWithArray(std::vector<std::shared_ptr<ArchivePoint>>{}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST_F(KeyedArchiveTest, LegacyClassNamesDecodeAsTheCurrentClass) {
    nlohmann::json data = {{"$archiver", "OrvikKeyedArchive"},
                           {"$version", 1},
                           {"$root", {{{"$class", "LegacyPoint"}, {"x", 5}, {"y", 6}}}}};
    auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<ArchivePoint>(data);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 1u);
    EXPECT_EQ((*decoded)[0]->x, 5);
    EXPECT_EQ((*decoded)[0]->archiveClassName(), "ArchivePoint");
    EXPECT_TRUE(KeyedClassRegistry::shared().hasClass("LegacyPoint"));
    EXPECT_EQ(KeyedClassRegistry::shared().resolvedClassName("LegacyPoint"), "ArchivePoint");
}

TEST_F(KeyedArchiveTest, UndecodableValuesFailAsAWholeWithTheReason) {
    auto point = nlohmann::json{{"$class", "ArchivePoint"}, {"x", 1}};
    auto archive = [](nlohmann::json root, int version = 1) {
        return nlohmann::json{{"$archiver", "OrvikKeyedArchive"}, {"$version", version}, {"$root", root}};
    };
    struct Case {
        const char* what;
        nlohmann::json data;
        long code;
    };
    const Case cases[] = {
        {"junk text", "not an archive", KeyedArchiver::ErrorNotAnArchive},
        {"null", nullptr, KeyedArchiver::ErrorNotAnArchive},
        {"plain object", {{"x", 1}}, KeyedArchiver::ErrorNotAnArchive},
        {"newer format", archive({point}, 2), KeyedArchiver::ErrorUnsupportedVersion},
        {"no version",
         {{"$archiver", "OrvikKeyedArchive"}, {"$root", {point}}},
         KeyedArchiver::ErrorNotAnArchive},
        {"unknown class", archive({point, {{"$class", "NoSuchClass"}}}), KeyedArchiver::ErrorUnknownClass},
        {"element not an object", archive({point, 42}), KeyedArchiver::ErrorNotAnObject},
        {"bad element values", archive({point, {{"$class", "ArchivePoint"}, {"x", "one"}}}),
         KeyedArchiver::ErrorInvalidValue},
        {"root not an array", archive(point), KeyedArchiver::ErrorWrongClass},
        {"element of another class", archive({point, {{"$class", "ArchiveLabel"}}}),
         KeyedArchiver::ErrorWrongClass},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_FALSE(KeyedUnarchiver::unarchiveArrayOfClass<ArchivePoint>(c.data, &error)) << c.what;
        EXPECT_EQ(error.domain, KeyedArchiver::ErrorDomain) << c.what;
        EXPECT_EQ(error.code, c.code) << c.what;
        EXPECT_FALSE(error.localizedDescription.empty()) << c.what;
    }
    Error error;
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectOfClass<ArchiveLabel>(archive(point), &error));
    EXPECT_EQ(error.code, KeyedArchiver::ErrorWrongClass);

    // Element by element: the elements that decode, and how many did not.
    for (const auto& c : cases) {
        Error partial;
        std::size_t failures = 0;
        auto elements =
            KeyedUnarchiver::unarchiveDecodableElementsOfClass<ArchivePoint>(c.data, &failures, &partial);
        const bool elementFaults =
            c.code == KeyedArchiver::ErrorUnknownClass || c.code == KeyedArchiver::ErrorNotAnObject ||
            c.code == KeyedArchiver::ErrorInvalidValue || std::string(c.what) == "element of another class";
        if (!elementFaults) {
            EXPECT_FALSE(elements) << c.what;
            continue;
        }
        ASSERT_TRUE(elements) << c.what;
        ASSERT_EQ(elements->size(), 1u) << c.what;
        EXPECT_EQ((*elements)[0]->x, 1) << c.what;
        EXPECT_EQ(failures, 1u) << c.what;
        EXPECT_EQ(partial.code, c.code) << c.what;
    }
}

} // namespace
