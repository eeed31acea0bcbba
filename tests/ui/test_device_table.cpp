#include "tests/ui/window_fixture.h"

namespace kestrova::ui {
namespace {

TEST_F(window_fixture, device_table_window_opens) { EXPECT_TRUE(messages.empty()); }

}  // namespace
}  // namespace kestrova::ui
