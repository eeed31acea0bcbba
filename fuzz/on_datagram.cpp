// The datagram callback fed what the network can bring: any payload of up to
// a receive buffer's size, any sender address text and port, as a received
// datagram or a completed send.
#include "ui/traffic_log.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

#include "engine/engine.h"
#include "fuzz/fuzz_support.h"

using namespace kestrova;
using namespace kestrova::fuzz;

namespace {

// GBK "收到:" and "发送:".
constexpr std::string_view RECEIVED = "\xCA\xD5\xB5\xBD:";
constexpr std::string_view SENT = "\xB7\xA2\xCB\xCD:";

class captured_lines : public log_sink {
 public:
  void append_line(std::string line) override { lines.push_back(std::move(line)); }
  std::vector<std::string> lines;
};

std::shared_ptr<captured_lines> install_sink() {
  auto sink = std::make_shared<captured_lines>();
  set_log_sink(sink);
  return sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::shared_ptr<captured_lines> sink = install_sink();
  sink->lines.clear();
  take_pending_senders(SIZE_MAX);

  FuzzedDataProvider input(data, size);
  std::int32_t kind = input.ConsumeBool() ? IO_SEND : IO_RECV;
  std::int32_t port = input.ConsumeIntegral<std::int32_t>();
  std::int32_t user_value = input.ConsumeIntegral<std::int32_t>();
  std::string address = input.ConsumeRandomLengthString(40);
  byte_sequence payload = input.ConsumeRemainingBytes<std::uint8_t>();
  // The address is a C text: it ends at its first zero byte.
  std::string peer = address.c_str();

  datagram_record before = read_last_datagram();
  on_datagram(kind, payload.data(), static_cast<std::uint32_t>(payload.size()), address.c_str(), port,
              user_value);

  std::string port_text = number_to_text(port);
  std::string hex = byte_tools{}.bytes_to_hex(payload);
  KESTROVA_REQUIRE(sink->lines.size() == 1);
  const std::string& line = sink->lines.front();
  datagram_record after = read_last_datagram();
  std::vector<datagram_record> pending = take_pending_senders(SIZE_MAX);
  if (kind == IO_SEND) {
    // A send is logged and changes neither the record nor the senders.
    KESTROVA_REQUIRE(line == std::string(SENT) + peer + ":" + port_text + " -> [" + hex + "]\r\n");
    KESTROVA_REQUIRE(after.last_peer_address == before.last_peer_address &&
                     after.last_peer_port == before.last_peer_port &&
                     after.last_payload == before.last_payload);
    KESTROVA_REQUIRE(pending.empty());
  } else {
    KESTROVA_REQUIRE(line == std::string(RECEIVED) + peer + ":" + port_text + " -> [" + hex + "] -> [" +
                                 bytes_to_decimal_list(payload) + "]\r\n");
    KESTROVA_REQUIRE(after.last_peer_address == peer && after.last_peer_port == port_text &&
                     after.last_payload == payload);
    KESTROVA_REQUIRE(pending.size() == 1 && pending[0].last_peer_address == peer &&
                     pending[0].last_peer_port == port_text && pending[0].last_payload == payload);
  }
  return 0;
}
