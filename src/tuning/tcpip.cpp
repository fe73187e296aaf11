#include "tuning/tcpip.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/steps.h"
#include "engine/store/errors.h"
#include "engine/store/integer.h"

namespace frambul::tuning {
namespace {

using engine::MainForm;
using store::RootKey;
using store::TRegistry;

constexpr std::string_view kNetTrans = "\\System\\CurrentControlSet\\Services\\Class\\NetTrans";
constexpr std::string_view kMstcp = "\\System\\CurrentControlSet\\Services\\VxD\\MSTCP";

std::string Binding(const std::string& name) { return std::string(kNetTrans) + "\\" + name; }

// Writes a non-empty text as a string value; an empty one deletes the value.
void WriteOrRemove(TRegistry& registry, std::string_view name, const std::string& text) {
  if (text.empty()) {
    registry.RemoveValue(name);
  } else {
    registry.WriteText(name, text);
  }
}

// Finds the first binding whose description is exactly "TCP/IP" and shows
// its MTU; false when there is none.
bool LoadMtu(TRegistry& registry, MainForm& form) {
  if (!registry.OpenPath(kNetTrans, false)) return false;
  std::vector<std::string> names;
  registry.ListSubkeys(names);
  for (const std::string& name : names) {
    // A binding that cannot be opened is passed over: reading on would take
    // the description of the key opened before.
    if (!registry.OpenPath(Binding(name), false) || registry.ReadText("DriverDesc") != "TCP/IP") continue;
    form.NetTransKey = name;
    engine::Edit& mtu = form.MTUEdt;
    engine::Guarded([&] { mtu.Text = registry.ReadText("MaxMTU"); });
    if (mtu.Text.empty()) mtu.Text = "1500";
    return true;
  }
  return false;
}

}  // namespace

int32_t RwinFromMtu(int32_t mtu) {
  return static_cast<int32_t>((static_cast<uint32_t>(mtu) - 40u) * 4u);
}

void LoadTcpIp(TRegistry& registry, MainForm& form) {
  registry.SetCurrentRoot(RootKey::LocalMachine);
  // Without a binding the edit keeps its "1500".
  form.MTUEdt.Enabled = LoadMtu(registry, form);
  form.MTUEdt.Loaded = true;

  engine::Edit& rwin = form.RWINEdt;
  engine::ComboBox& ttl = form.TTLCbx;
  if (!registry.OpenPath(kMstcp, false)) {
    rwin.Enabled = ttl.Enabled = false;
    rwin.Loaded = ttl.Loaded = true;
    return;
  }
  engine::Guarded([&] { rwin.Text = registry.ReadText("DefaultRcvWindow"); });
  if (rwin.Text.empty()) rwin.Text = "5840";
  rwin.Loaded = true;
  // Any other value, 128 included, shows the first item.
  ttl.ItemIndex = 0;
  engine::Guarded([&] { ttl.ItemIndex = registry.ReadText("DefaultTTL") == "64" ? 1 : 0; });
  ttl.Loaded = true;
}

void ApplyTcpIp(TRegistry& registry, const MainForm& form) {
  registry.SetCurrentRoot(RootKey::LocalMachine);
  const engine::Edit& mtu = form.MTUEdt;
  // Without a binding found by the load there is no key of the MTU's own.
  if (mtu.Loaded && mtu.Enabled && !form.NetTransKey.empty()) {
    engine::OpenForWrite(registry, Binding(form.NetTransKey), "MaxMTU");
    WriteOrRemove(registry, "MaxMTU", mtu.Text);
  }
  const engine::Edit& rwin = form.RWINEdt;
  const engine::ComboBox& ttl = form.TTLCbx;
  if (rwin.Loaded && rwin.Enabled && ttl.Loaded && ttl.Enabled) {
    engine::OpenForWrite(registry, kMstcp, "DefaultRcvWindow");
    WriteOrRemove(registry, "DefaultRcvWindow", rwin.Text);
    // The empty third item deletes the value.
    const int item = ttl.ItemIndex >= 0 && ttl.ItemIndex < 3 ? ttl.ItemIndex : 0;
    WriteOrRemove(registry, "DefaultTTL", kTtlItems[item]);
  }
}

void BitBtn1Click(MainForm& form) {
  form.MTUEdt.Text = "576";
  form.RWINEdt.Text = std::to_string(RwinFromMtu(store::StrToInt(form.MTUEdt.Text)));
  form.TTLCbx.ItemIndex = 1;
  // One mark suffices: the apply writes all three values.
  form.MTUEdt.Tag = 1;
}

bool Label6Click(MainForm& form) {
  int32_t mtu = 0;
  try {
    mtu = store::StrToInt(form.MTUEdt.Text);
  } catch (const store::EConvertError&) {
    return false;
  }
  form.RWINEdt.Text = std::to_string(RwinFromMtu(mtu));
  form.RWINEdt.Tag = 1;
  return true;
}

void TTLCbxChange(MainForm& form, int index) {
  form.TTLCbx.ItemIndex = index;
  form.TTLCbx.Tag = 1;
}

}  // namespace frambul::tuning
