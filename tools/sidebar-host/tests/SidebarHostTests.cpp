// The test host: its matcher, its smart-group file (an unreadable one is kept
// aside, never overwritten) and the sidebar working over them.
#include "Halvex/Views/VyHighlightedTableCellView.h"
#include "Halvex/Views/VySmartSearchField.h"
#include "SidebarHost.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList names(const QVariantList& entries) {
    QStringList out;
    for (const QVariant& v : entries)
        out.append(v.value<HostEntry>().name);
    return out;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(SidebarHostMatcher, EveryWordSomewhereInTheEntryWithoutRegardToCase) {
    const QVariantList all = SidebarHost::sampleEntries();
    EXPECT_EQ(names(hostMatchingEntries(all, "DB")), QStringList({"db-primary", "db-replica", "db-test"}));
    EXPECT_EQ(names(hostMatchingEntries(all, "db  PROD")), QStringList({"db-primary", "db-replica"}));
    EXPECT_EQ(names(hostMatchingEntries(all, "postgres 10.0.1.6")), QStringList({"db-replica"}));
    EXPECT_TRUE(hostMatchingEntries(all, "db staging").isEmpty());
    EXPECT_EQ(hostMatchingEntries(all, ""), all);
    EXPECT_EQ(hostMatchingEntries(all, "   "), all);
}

TEST(SidebarHostFile, LivesInTheUsersDataFolder) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/tmp/data-home");
    EXPECT_EQ(HostSmartGroupFile::defaultPath(), "/tmp/data-home/orvik-sidebar-host/smart-groups.json");
    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(HostSmartGroupFile::defaultPath(),
              QDir::homePath() + "/.local/share/orvik-sidebar-host/smart-groups.json");
    qputenv("XDG_DATA_HOME", saved);
}

TEST(SidebarHostFile, SavesNamesAndSearchTextsButNoCounts) {
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/smart-groups.json");
    HostSmartGroupFile file(path);
    EXPECT_TRUE(file.load().isEmpty()); // no file yet
    const VySmartGroupList groups{
        {{kSmartGroupName, "Prod"}, {kSmartGroupSearchText, "prod"}, {kSmartGroupHitCount, 4}},
        {{kSmartGroupName, "Ünïcode"}, {kSmartGroupSearchText, "db test"}}};
    ASSERT_TRUE(file.save(groups));
    const VySmartGroupList loaded = HostSmartGroupFile(path).load();
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0], VySmartGroup({{kSmartGroupName, "Prod"}, {kSmartGroupSearchText, "prod"}}));
    EXPECT_EQ(vySmartGroupName(loaded[1]), "Ünïcode");
    EXPECT_EQ(vySmartGroupSearchText(loaded[1]), "db test");
}

TEST(SidebarHostFile, AnUnreadableFileIsKeptAsideAndNeverOverwritten) {
    const QByteArray unreadable[] = {"{not json", "{\"smartGroupName\":\"x\"}",
                                     "[{\"smartGroupName\":\"x\"}]",
                                     "[{\"smartGroupName\":1,\"smartGroupSearchText\":\"y\"}]", "[3]"};
    for (const QByteArray& bytes : unreadable) {
        QTemporaryDir dir;
        const QString path = dir.filePath("smart-groups.json");
        write(path, bytes);
        HostSmartGroupFile file(path);
        EXPECT_TRUE(file.load().isEmpty()) << bytes.constData();
        ASSERT_FALSE(file.keptAsidePath().isEmpty()) << bytes.constData();
        EXPECT_EQ(readAll(file.keptAsidePath()), bytes);
        EXPECT_FALSE(QFile::exists(path));
        // The next save starts a new file; the old one stays as it was.
        ASSERT_TRUE(file.save({{{kSmartGroupName, "A"}, {kSmartGroupSearchText, "a"}}}));
        EXPECT_EQ(HostSmartGroupFile(path).load().size(), 1);
        EXPECT_EQ(readAll(file.keptAsidePath()), bytes);
    }
}

class SidebarHostWithSidebar : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("smart-groups.json");
        write(path,
              HostSmartGroupFile::encode({{{kSmartGroupName, "Databases"}, {kSmartGroupSearchText, "db"}}}));
        host = std::make_unique<SidebarHost>(SidebarHost::sampleEntries(), path);
        host->window()->show();
    }
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<SidebarHost> host;
};

TEST_F(SidebarHostWithSidebar, SearchesThroughTheMatcherAndCountsHitsForTheMenu) {
    VySSHSidebarViewController& sidebar = host->sidebar();
    QTest::keyClicks(sidebar.searchField(), "PROD");
    EXPECT_EQ(names(sidebar.displayingItems()), QStringList({"web-1", "web-2", "db-primary", "db-replica"}));
    EXPECT_EQ(sidebar.searchingResultTextField()->text(), "4 tunnels found");
    const VySmartGroupList groups = sidebar.allSmartGroups();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(vySmartGroupHitCount(groups[0]), 3u);
    // The row binds to the entry's properties.
    EXPECT_EQ(sidebar.tableView()->cellViewAtRow(0)->messageTextField()->text(), "deploy@10.0.0.11:22");
}

TEST_F(SidebarHostWithSidebar, SavedGroupsReachTheFileWithoutCounts) {
    VySSHSidebarViewController& sidebar = host->sidebar();
    sidebar.allSmartGroups(); // fetched with counts
    sidebar.addSmartGroup({{kSmartGroupName, "Web"}, {kSmartGroupSearchText, "web"}});
    const auto stored = HostSmartGroupFile::decode(readAll(path));
    ASSERT_TRUE(stored.has_value());
    ASSERT_EQ(stored->size(), 2);
    EXPECT_EQ(vySmartGroupName((*stored)[1]), "Web");
    EXPECT_FALSE(readAll(path).contains("smartGroupHitCount"));
}

TEST_F(SidebarHostWithSidebar, ImportAddsOnlyNewSearchesAndRefusesOtherFiles) {
    const QString other = dir.filePath("other.json");
    write(other,
          HostSmartGroupFile::encode({{{kSmartGroupName, "Also databases"}, {kSmartGroupSearchText, "DB"}},
                                      {{kSmartGroupName, "Edge"}, {kSmartGroupSearchText, "edge"}}}));
    ASSERT_TRUE(host->importSmartGroupsFromFile(other));
    const VySmartGroupList groups = host->sidebar().allSmartGroups();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(vySmartGroupName(groups[0]), "Databases");
    EXPECT_EQ(vySmartGroupName(groups[1]), "Edge");

    write(other, "not groups");
    EXPECT_FALSE(host->importSmartGroupsFromFile(other));
    EXPECT_EQ(host->sidebar().allSmartGroups().size(), 2);

    const QString exported = dir.filePath("exported.json");
    ASSERT_TRUE(host->exportSmartGroupsToFile(exported));
    EXPECT_EQ(HostSmartGroupFile::decode(readAll(exported))->size(), 2);
}

TEST_F(SidebarHostWithSidebar, AnEditedNameIsTakenOverByTheHost) {
    VyHighlightedTableCellView* cell = host->sidebar().tableView()->cellViewAtRow(1);
    ASSERT_NE(cell, nullptr);
    cell->beginEditing();
    cell->nameTextField()->setText("web-2b");
    emit cell->nameTextField()->editingFinished();
    EXPECT_EQ(host->entries()[1].value<HostEntry>().name, "web-2b");
    EXPECT_EQ(host->entries()[1].value<HostEntry>().message, "deploy@10.0.0.12:22");
}

} // namespace
