// libNavlet_Client.so as navlet-browser meets it: registration under the
// classes root, found by its category, loaded from InprocServer32, a bar
// made, sited, shown and closed through the entry's table, and unregistered.
#include <QApplication>
#include <QFileInfo>
#include <QTabWidget>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "client/core/registration.h"
#include "client/qt/browser/module_loader.h"
#include "version/version_info.h"

namespace navlet::qt {
namespace {

class TRecordingSite : public THostControl {
  public:
    std::string LocationURL() override {
        ++locationReads;
        return url;
    }
    void OpenNewWindow(const std::string& address) override { navigated.push_back(address); }
    void FlashBrowserWindow() override {}
    void ResizeBandSite(int32_t height) override { heights.push_back(height); }
    void FocusChanged(bool) override {}
    void SuppressFaultDialogs() override { ++suppressed; }
    void CloseInPlaceWindow() override { ++closed; }

    std::string url = "file:///home/page.html";
    int locationReads = 0;
    std::vector<std::string> navigated;
    std::vector<int32_t> heights;
    int suppressed = 0;
    int closed = 0;
};

const std::string MODULE = QFileInfo(NAVLET_MODULE_FILE).absoluteFilePath().toStdString();

std::string ReadDefault(TRegistry& registry, const std::string& key, const std::string& name = "") {
    auto k = registry.OpenKey(THive::ClassesRoot, key, TKeyOpen::Existing);
    std::string value = "<no key>";
    if (k && k->ReadString(name, value) != TRegResult::Ok)
        value = "<no value>";
    return value;
}

TEST(TModuleTest, RegistersLoadsHostsAndUnregistersABar) {
    QString error;
    const NavletModuleApi* api = LoadBarModule(MODULE, error);
    ASSERT_NE(api, nullptr) << error.toStdString();
    ASSERT_EQ(api->registerServer(), 0);

    TQtRegistry registry(TQtRegistry::DefaultFolder());
    const std::string cls = std::string("CLSID\\") + CLSID_NAVLET;
    EXPECT_EQ(ReadDefault(registry, cls), "Navlet");
    EXPECT_EQ(ReadDefault(registry, cls + "\\InprocServer32"), MODULE);
    EXPECT_EQ(ReadDefault(registry, cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ReadDefault(registry, cls + "\\ProgID"), "Navlet_Client.Navlet");
    EXPECT_EQ(ReadDefault(registry, "Navlet_Client.Navlet\\CLSID"), CLSID_NAVLET);
    EXPECT_EQ(ReadDefault(registry, cls + "\\MiscStatus\\1"), "131473");
    EXPECT_EQ(ReadDefault(registry, cls + "\\Verb\\0"), "Properties,0,2");
    EXPECT_NE(
        registry.OpenKey(THive::ClassesRoot,
                         cls + "\\Implemented Categories\\{00021494-0000-0000-C000-000000000046}",
                         TKeyOpen::Existing),
        nullptr);
    EXPECT_EQ(GetVersionString(MODULE, "FileVersion"), "1.4.0.0");

    // The browser's way in: the category, then InprocServer32.
    const std::vector<TBarClass> classes = FindBarClasses(registry);
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0].clsid, CLSID_NAVLET);
    EXPECT_EQ(classes[0].module, MODULE);
    EXPECT_EQ(LoadBarModule(classes[0].module, error), api);

    QWidget site;
    NavletBar* bar = api->createBar(&site);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(api->barWindow(bar)->parentWidget(), &site);
    EXPECT_EQ(api->canUnloadNow(), 1);
    TRecordingSite host;
    api->setSite(bar, &host);
    TBandInfo info;
    info.mask = DBIM_MINSIZE | DBIM_ACTUAL;
    EXPECT_EQ(api->getBandInfo(bar, &info), HR_OK);
    EXPECT_EQ(info.actual, (TBandPoint{BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT}));
    EXPECT_EQ(api->getBandInfo(bar, nullptr), HR_INVALIDARG);

    EXPECT_EQ(api->showDW(bar, true), HR_OK);
    EXPECT_GT(host.locationReads, 0) << "showing the band looks at the browser's page";
    EXPECT_FALSE(api->barWindow(bar)->isHidden());
    TKeyMessage enter;
    enter.virtualKey = VK_ENTER;
    EXPECT_EQ(api->translateAcceleratorIO(bar, &enter), TKeyAction::ToBrowserFocusLost)
        << "no edit box of the bar has the focus";
    api->documentComplete(bar);

    EXPECT_EQ(api->closeDW(bar), HR_OK);
    EXPECT_EQ(host.suppressed, 1);
    EXPECT_EQ(host.closed, 1);
    api->setSite(bar, nullptr);
    api->destroyBar(bar);
    EXPECT_EQ(api->canUnloadNow(), 0);

    ASSERT_EQ(api->unregisterServer(), 0);
    EXPECT_TRUE(FindBarClasses(registry).empty());
    EXPECT_EQ(registry.OpenKey(THive::ClassesRoot, "Navlet_Client.Navlet", TKeyOpen::Existing),
              nullptr);
}

// A browser opens and closes windows all day: every bar it makes must leave
// nothing behind (the sanitizer build checks what the counts cannot).
TEST(TModuleTest, TwoHundredBarsMadeShownAndDestroyedLeaveNothingBehind) {
    QString error;
    const NavletModuleApi* api = LoadBarModule(MODULE, error);
    ASSERT_NE(api, nullptr) << error.toStdString();
    QWidget site;
    const auto topLevels = QApplication::topLevelWidgets().size();
    for (int cycle = 0; cycle < 200; ++cycle) {
        NavletBar* bar = api->createBar(&site);
        ASSERT_NE(bar, nullptr);
        TRecordingSite host;
        api->setSite(bar, &host);
        api->showDW(bar, true);
        api->documentComplete(bar);
        host.url = "http://www.example.com/";
        api->documentComplete(bar);
        api->showDW(bar, false);
        api->closeDW(bar);
        api->setSite(bar, nullptr);
        api->destroyBar(bar);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_EQ(api->canUnloadNow(), 0) << "cycle " << cycle;
        ASSERT_TRUE(site.findChildren<QWidget*>().isEmpty()) << "cycle " << cycle;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevels);
}

// The bar's active control follows the native focus into every control, so
// Enter in the chat tabs is not taken for Enter in the chat line typed before.
TEST(TModuleTest, FocusInAnyControlOfTheBarDecidesWhereEnterGoes) {
    QString error;
    const NavletModuleApi* api = LoadBarModule(MODULE, error);
    ASSERT_NE(api, nullptr) << error.toStdString();
    QWidget site;
    NavletBar* bar = api->createBar(&site);
    TRecordingSite host;
    api->setSite(bar, &host);
    api->showDW(bar, true);
    site.resize(810, 216);
    api->barWindow(bar)->resize(810, 216);
    site.show();
    auto* edit1 = site.findChild<QWidget*>("Edit1");
    auto* tabs = site.findChild<QTabWidget*>("PageControl");
    ASSERT_NE(edit1, nullptr);
    ASSERT_NE(tabs, nullptr);
    TKeyMessage enter;
    enter.virtualKey = VK_ENTER;
    enter.message = WM_KEYDOWN_MSG;
    QTest::mouseClick(edit1, Qt::LeftButton);
    EXPECT_EQ(api->translateAcceleratorIO(bar, &enter), TKeyAction::SendChat);
    tabs->widget(0)->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(api->translateAcceleratorIO(bar, &enter), TKeyAction::ToBrowserFocusLost);
    api->closeDW(bar);
    api->setSite(bar, nullptr);
    api->destroyBar(bar);
}

TEST(TModuleTest, BarClassesWithoutAModuleOrAnotherCategoryAreSkipped) {
    TQtRegistry registry(TQtRegistry::DefaultFolder());
    const std::string band = "\\Implemented Categories\\{00021494-0000-0000-C000-000000000046}";
    registry.OpenKey(THive::ClassesRoot, "CLSID\\{NoServer}" + band, TKeyOpen::Create);
    registry.OpenKey(THive::ClassesRoot, "CLSID\\{Other}\\Implemented Categories\\{X}",
                     TKeyOpen::Create);
    registry.OpenKey(THive::ClassesRoot, "CLSID\\{Other}\\InprocServer32", TKeyOpen::Create)
        ->WriteString("", "/lib/other.so");
    registry.OpenKey(THive::ClassesRoot, "CLSID\\{Good}" + band, TKeyOpen::Create);
    registry.OpenKey(THive::ClassesRoot, "CLSID\\{Good}\\InprocServer32", TKeyOpen::Create)
        ->WriteString("", "/lib/good.so");
    const std::vector<TBarClass> classes = FindBarClasses(registry);
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_EQ(classes[0].clsid, "{Good}");
    EXPECT_EQ(classes[0].module, "/lib/good.so");
    registry.DeleteKeyTree(THive::ClassesRoot, "CLSID");
}

TEST(TModuleTest, FilesThatAreNotBarModulesAreRefusedWithAReason) {
    QString error;
    EXPECT_EQ(LoadBarModule("/nonexistent/libNavlet_Client.so", error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_EQ(LoadBarModule("libm.so.6", error), nullptr) << "a library without the entry";
    EXPECT_TRUE(error.contains("navlet_module_entry"));
}

} // namespace
} // namespace navlet::qt
