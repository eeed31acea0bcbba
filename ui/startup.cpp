// Start-up and exit: the creation handler of the main window, the program's
// look, the byte_tools object and the exit routine.
#include "ui/startup.h"

#include <QApplication>
#include <QFont>
#include <QHostAddress>
#include <QHostInfo>
#include <QStyleFactory>
#include <atomic>
#include <memory>
#include <mutex>

#include "engine/engine.h"
#include "ui/main_window.h"
#include "ui/traffic_log.h"

namespace kestrova::ui {
namespace {

std::atomic<byte_tools*> tools{nullptr};

}  // namespace

void set_application_look() {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
    QApplication::setStyle(fusion);
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setPixelSize(12);
  font.setStyleHint(QFont::SansSerif);
  QApplication::setFont(font);
}

void create_byte_tools() {
  auto* made = new byte_tools();
  delete tools.exchange(made);
}

const byte_tools* the_byte_tools() { return tools.load(); }

void exit_routine() {
  delete tools.exchange(nullptr);
  release_last_datagram();
}

std::vector<std::string> ipv4_addresses_of(const std::string& host_name, std::size_t limit) {
  std::vector<std::string> addresses;
  if (host_name.empty() || limit == 0) return addresses;
  // Qt's resolver keeps the order of the system's answer.
  const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host_name));
  if (info.error() != QHostInfo::NoError) return addresses;
  for (const QHostAddress& address : info.addresses()) {
    if (addresses.size() >= limit) break;
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
      addresses.push_back(address.toString().toStdString());
  }
  return addresses;
}

std::vector<std::string> local_ipv4_addresses(std::size_t limit) {
  return ipv4_addresses_of(QHostInfo::localHostName().toStdString(), limit);
}

void main_window::on_created() {
  // The engine is started once per process; its result is not looked at: the
  // window works either way, and failed opens show later.
  static std::once_flag engine_started;
  std::call_once(engine_started, [] { (void)engine_init(); });
  按钮_停止.set_enabled(false);
  状态条1.set_status_text(1, "0");
  const std::vector<std::string> addresses = local_ipv4_addresses(10);
  // No address (no network, name not resolvable): part 3 stays empty.
  状态条1.set_status_text(3, addresses.empty() ? std::string() : addresses.front());
  组合框1.set_selection_field_height(21);
  组合框1.set_current_selection(0);
  preset_list_hidden = 1;
}

}  // namespace kestrova::ui
