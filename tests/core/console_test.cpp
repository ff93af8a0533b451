#include "tests/core/bar_test_support.h"

namespace navlet::testing {
namespace {

class ConsoleTest : public BarTest {
  protected:
    void SetUp() override {
        BarTest::SetUp();
        ConsoleForm.reset();
        OnConsoleCreated = [this](TConsoleForm& form) { created.push_back(&form); };
    }
    void TearDown() override {
        OnConsoleCreated = nullptr;
        ConsoleForm.reset();
        BarTest::TearDown();
    }
    std::vector<TConsoleForm*> created;
};

TEST_F(ConsoleTest, FirstTextCreatesTheConsoleAndLaterTextsJoinIt) {
    TNavlet& b = MakeBar();
    b.ConsoleText("--> 12 ms");
    b.ConsoleText("client> forzo la versione alla 1.0.0.0");
    ASSERT_NE(ConsoleForm, nullptr);
    EXPECT_EQ(created.size(), 1u);
    EXPECT_EQ(ConsoleForm->Caption(), "Navlet Server Output");
    EXPECT_TRUE(ConsoleForm->Visible());
    EXPECT_EQ(ConsoleForm->Log(),
              (std::vector<std::string>{"--> 12 ms", "client> forzo la versione alla 1.0.0.0"}));
}

TEST_F(ConsoleTest, ClearEmptiesAndClosingMakesTheNextTextOpenAFreshOne) {
    TNavlet& b = MakeBar();
    b.ConsoleText("one");
    ConsoleForm->btClearClick();
    b.ConsoleText("two");
    EXPECT_EQ(ConsoleForm->Log(), (std::vector<std::string>{"two"}));

    ConsoleForm->FormClose();
    EXPECT_EQ(ConsoleForm, nullptr);
    b.ConsoleText("three");
    ASSERT_NE(ConsoleForm, nullptr);
    EXPECT_EQ(created.size(), 2u);
    EXPECT_EQ(ConsoleForm->Log(), (std::vector<std::string>{"three"}));
}

TEST_F(ConsoleTest, TheConsoleOutlivesTheBarThatMadeIt) {
    MakeBar().ConsoleText("kept");
    bar.reset();
    TNavlet& other = MakeBar();
    other.ConsoleText("joined");
    EXPECT_EQ(created.size(), 1u);
    EXPECT_EQ(ConsoleForm->Log(), (std::vector<std::string>{"kept", "joined"}));
}

} // namespace
} // namespace navlet::testing
