#include "SidebarHost.h"

#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleFilePanel.h"

#include <QFile>
#include <QLabel>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

SidebarHost::SidebarHost(QVariantList entries, QString smartGroupPath, QObject* parent)
    : QObject(parent), entries_(std::move(entries)), file_(std::move(smartGroupPath)) {
    groups_ = file_.load();
    sidebar_ = std::make_unique<VySSHSidebarViewController>(this);
}

SidebarHost::~SidebarHost() {
    sidebar_.reset();
    delete window_;
}

QVariantList SidebarHost::sampleEntries() {
    const HostEntry all[] = {
        {"web-1", "deploy@10.0.0.11:22", "prod"},       {"web-2", "deploy@10.0.0.12:22", "prod"},
        {"db-primary", "postgres@10.0.1.5:22", "prod"}, {"db-replica", "postgres@10.0.1.6:22", "prod"},
        {"cache", "admin@10.0.2.4:2222", "staging"},    {"build", "ci@192.0.2.40:22", "tools"},
        {"bastion", "ops@198.51.100.7:22", "edge"},     {"db-test", "tester@10.9.0.5:22", "test"},
    };
    QVariantList list;
    for (const HostEntry& e : all)
        list.append(QVariant::fromValue(e));
    return list;
}

QWidget* SidebarHost::window() {
    if (window_) return window_;
    auto* window = new QWidget;
    window->setObjectName(QStringLiteral("sidebarHostWindow"));
    window->setWindowTitle(QStringLiteral("Sidebar host"));
    status_ = new QLabel(window);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setTextFormat(Qt::PlainText);
    status_->setContentsMargins(8, 2, 8, 6);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget* view = sidebar_->view();
    view->setMinimumSize(280, 360);
    layout->addWidget(view, 1);
    layout->addWidget(status_);
    window->resize(300, 520);
    window_ = window;
    return window;
}

VySmartGroupList SidebarHost::vysb_fetchSmartGroups() {
    VySmartGroupList counted = groups_;
    for (VySmartGroup& group : counted)
        group.insert(
            kSmartGroupHitCount,
            static_cast<qulonglong>(hostMatchingEntries(entries_, vySmartGroupSearchText(group)).size()));
    return counted;
}

void SidebarHost::vysb_saveSmartGroups(const VySmartGroupList& groups) {
    groups_ = groups;
    for (VySmartGroup& group : groups_)
        group.remove(kSmartGroupHitCount);
    if (!file_.save(groups_)) setStatus(tr("Smart groups not saved to %1").arg(file_.path()));
}

QVariantList SidebarHost::vysb_filteringItemsWithText(const QString& text) {
    return hostMatchingEntries(entries_, text);
}

void SidebarHost::vysb_tableDoubleClicked(const QVariantList& items) {
    QStringList names;
    for (const QVariant& v : items)
        names.append(v.value<HostEntry>().name);
    setStatus(tr("Open %1").arg(names.join(QStringLiteral(", "))));
}

void SidebarHost::vysb_tableDidEndEditing() {
    entries_ = sidebar_->allContentItems();
}

void SidebarHost::vysb_tableSelectionDidChange(const QVariantList& selected, const QVariant& last,
                                               const QVariant&) {
    if (selected.isEmpty())
        setStatus(tr("No selection"));
    else
        setStatus(tr("%1 selected, last %2").arg(selected.size()).arg(last.value<HostEntry>().name));
}

void SidebarHost::vysb_importSmartGroups() {
    WendleOpenPanel panel;
    panel.title = tr("Import Smart Groups");
    panel.allowedFileTypes = {QStringLiteral("json")};
    const WendleFilePanelResult result = WendleRunOpenPanel(panel, window_);
    if (result.response != WendleFilePanelResult::OK || result.paths.isEmpty()) return;
    if (!importSmartGroupsFromFile(result.paths.first())) {
        WendleAlert alert;
        alert.messageText = tr("The file holds no smart groups.");
        alert.informativeText = result.paths.first();
        vySafeRunModal(alert, window_);
    }
}

void SidebarHost::vysb_exportSmartGroups() {
    WendleSavePanel panel;
    panel.title = tr("Export All Smart Groups");
    panel.allowedFileTypes = {QStringLiteral("json")};
    panel.nameFieldStringValue = QStringLiteral("smart-groups.json");
    const WendleFilePanelResult result = WendleRunSavePanel(panel, window_);
    if (result.response != WendleFilePanelResult::OK || result.paths.isEmpty()) return;
    if (!exportSmartGroupsToFile(result.paths.first())) setStatus(tr("Not exported"));
}

bool SidebarHost::importSmartGroupsFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const auto imported = HostSmartGroupFile::decode(file.readAll());
    if (!imported) return false;
    VySmartGroupList groups = groups_;
    for (const VySmartGroup& group : *imported)
        if (vyIndexOfSmartGroupWithSearchText(groups, vySmartGroupSearchText(group)) < 0)
            groups.append(group);
    vysb_saveSmartGroups(groups);
    setStatus(tr("%1 smart groups").arg(groups_.size()));
    return true;
}

bool SidebarHost::exportSmartGroupsToFile(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(HostSmartGroupFile::encode(groups_));
    return file.commit();
}

void SidebarHost::setStatus(const QString& text) {
    if (status_) status_->setText(text);
}
