// The main window: every control with its initial state, and the handlers of
// its events. The window builds and connects the controls (main_window.cpp);
// each handler group lives in its own unit (listening.cpp, device_table.cpp,
// sending.cpp) and works only through the control layer.
#pragma once

#include <array>
#include <memory>

#include <QWidget>

#include "engine/engine.h"
#include "ui/controls.h"

namespace kestrova::ui {

class queued_log_sink;

class main_window : public QWidget {
 public:
  main_window();
  ~main_window() override;

  // Controls, by the names of the window layout.
  report_list_view 超级列表框1;
  status_bar 状态条1;
  window_timer 时钟_端口1;
  list_box 列表框1;
  control 分组框3;
  control 编辑框_端口1, 编辑框_端口2, 编辑框_端口3, 编辑框_端口4;
  check_box 选择框3000, 选择框3001, 选择框3002, 选择框3003;
  button 按钮_监听, 按钮_停止;
  control 分组框4;
  combo_box 组合框1;
  control 编辑框_查询条件;
  button 按钮_查询筛选, 超级按钮_清空;
  control 分组框2;
  control 编辑框_发送消息;
  button 按钮4;
  ip_address_box IP编辑框1;
  control 编辑框_发送端口;
  check_box 选择框_发送进制;
  button 按钮2;
  control 分组框1;
  log_box 编辑框2;

  // The four endpoint handles, one per port box (slot 1 is index 0).
  std::array<endpoint_handle, 4> port_handles{};
  // 1: the next "↓" click shows the preset list; otherwise it hides it.
  int preset_list_hidden = 1;

  // Creation handler (startup.cpp).
  void on_created();

  // Listening (listening.cpp).
  void on_port_tick(int slot);  // slot 1..4
  void on_start_listening();
  void on_stop_listening();

  // Device table (device_table.cpp).
  void update_device_table();
  void on_query();
  void on_clear();
  void on_row_click();

  // Sending (sending.cpp).
  void on_toggle_presets();
  void on_preset_picked();
  void on_send();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void build_controls();
  void connect_handlers();

  std::shared_ptr<queued_log_sink> log_sink_;
  bool centred_ = false;
};

}  // namespace kestrova::ui
