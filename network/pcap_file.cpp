#include "network/pcap_file.h"

#include <algorithm>
#include <cstring>

namespace wl {

namespace {

constexpr uint32_t kSnapLength = 65535;
// Larger records are taken for damage, not for packets.
constexpr uint32_t kMaxRecord = 256 * 1024;

class Reader {
 public:
  Reader(const uint8_t* p, std::size_t n) : p_(p), n_(n) {}
  bool Has(std::size_t k) const { return k <= n_ - pos_; }
  std::size_t Pos() const { return pos_; }
  std::size_t Left() const { return n_ - pos_; }
  const uint8_t* Here() const { return p_ + pos_; }
  void Skip(std::size_t k) { pos_ += k; }
  uint16_t U16(std::size_t at) const {
    const uint8_t* q = p_ + at;
    return swap_ ? static_cast<uint16_t>(q[0] << 8 | q[1]) : static_cast<uint16_t>(q[1] << 8 | q[0]);
  }
  uint32_t U32(std::size_t at) const {
    const uint8_t* q = p_ + at;
    return swap_ ? (uint32_t{q[0]} << 24 | uint32_t{q[1]} << 16 | uint32_t{q[2]} << 8 | q[3])
                 : (uint32_t{q[3]} << 24 | uint32_t{q[2]} << 16 | uint32_t{q[1]} << 8 | q[0]);
  }
  void BigEndian(bool big) { swap_ = big; }

 private:
  const uint8_t* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
  bool swap_ = false;  // fields are big-endian
};

// The IPv4 packet inside a frame of the link type, or size 0.
bool IpPayload(uint32_t link, const uint8_t* frame, std::size_t size, const uint8_t** ip, std::size_t* ipSize) {
  std::size_t off = 0;
  switch (link) {
    case kLinkEthernet: {
      if (size < 14) return false;
      std::size_t typeAt = 12;
      unsigned type = frame[12] << 8 | frame[13];
      // 802.1Q / 802.1ad tags.
      while ((type == 0x8100 || type == 0x88A8) && size >= typeAt + 6) {
        typeAt += 4;
        type = frame[typeAt] << 8 | frame[typeAt + 1];
      }
      if (type != 0x0800) return false;
      off = typeAt + 2;
      break;
    }
    case kLinkNull: {
      if (size < 4) return false;
      uint32_t family;
      std::memcpy(&family, frame, 4);
      // Written in the writer's byte order: AF_INET is 2 either way round.
      if (family != 2 && family != 0x02000000) return false;
      off = 4;
      break;
    }
    case kLinkRaw:
    case kLinkIpv4:
      break;
    default:
      return false;
  }
  if (size <= off || (frame[off] >> 4) != 4) return false;
  *ip = frame + off;
  *ipSize = size - off;
  return true;
}

CaptureReadResult Fail(CaptureReadResult r, std::string text) {
  r.ok = false;
  r.error = std::move(text);
  return r;
}

void Hand(uint32_t link, const uint8_t* frame, std::size_t size, int64_t sec, uint32_t ns,
          const std::function<void(const CapturePacket&)>& onPacket, CaptureReadResult& r) {
  CapturePacket packet;
  if (!IpPayload(link, frame, size, &packet.data, &packet.size)) {
    ++r.skipped;
    return;
  }
  packet.seconds = sec;
  packet.nanoseconds = ns;
  ++r.packets;
  onPacket(packet);
}

CaptureReadResult ReadClassic(Reader& in, bool nano, const std::function<void(const CapturePacket&)>& onPacket) {
  CaptureReadResult r;
  if (!in.Has(24)) return Fail(r, "The capture file's header is cut short.");
  const uint32_t link = in.U32(20) & 0x0FFFFFFF;  // upper bits: FCS information
  in.Skip(24);
  while (in.Left()) {
    if (!in.Has(16)) return Fail(r, "The capture file ends inside a packet record.");
    const std::size_t at = in.Pos();
    const int64_t sec = in.U32(at);
    const uint32_t frac = in.U32(at + 4);
    const uint32_t incl = in.U32(at + 8);
    if (incl > kMaxRecord) return Fail(r, "The capture file is damaged: a packet record claims " +
                                              std::to_string(incl) + " bytes.");
    in.Skip(16);
    if (!in.Has(incl)) return Fail(r, "The capture file ends inside a packet record.");
    const uint32_t ns = nano ? (frac < 1000000000u ? frac : 0) : (frac < 1000000u ? frac * 1000u : 0);
    Hand(link, in.Here(), incl, sec, ns, onPacket, r);
    in.Skip(incl);
  }
  r.ok = true;
  return r;
}

// pcapng: section header, interface descriptions, enhanced and simple packet
// blocks; other blocks are passed over.
CaptureReadResult ReadNg(Reader& in, const std::function<void(const CapturePacket&)>& onPacket) {
  CaptureReadResult r;
  struct Interface {
    uint32_t link = 0;
    uint64_t unitsPerSecond = 1000000;
  };
  std::vector<Interface> interfaces;
  while (in.Left()) {
    if (!in.Has(12)) return Fail(r, "The capture file ends inside a block.");
    const std::size_t at = in.Pos();
    uint32_t type = in.U32(at);
    if (type == 0x0A0D0D0A) {  // section header: its own byte order
      const uint8_t* m = in.Here() + 8;
      if (m[0] == 0x1A && m[1] == 0x2B && m[2] == 0x3C && m[3] == 0x4D)
        in.BigEndian(true);
      else if (m[0] == 0x4D && m[1] == 0x3C && m[2] == 0x2B && m[3] == 0x1A)
        in.BigEndian(false);
      else
        return Fail(r, "The capture file is damaged: a section has no byte-order mark.");
      interfaces.clear();
    }
    const uint32_t length = in.U32(at + 4);
    if (length < 12 || length % 4 || length > kMaxRecord + 64 || !in.Has(length))
      return Fail(r, "The capture file is damaged: a block has a wrong length.");
    const uint8_t* body = in.Here() + 8;
    const std::size_t bodySize = length - 12;
    if (type == 1 && bodySize >= 8) {  // interface description
      Interface itf;
      itf.link = in.U16(at + 8);
      // Options: if_tsresol (9) changes the time unit.
      std::size_t opt = at + 16;
      const std::size_t end = at + 8 + bodySize;
      while (opt + 4 <= end) {
        const unsigned code = in.U16(opt);
        const unsigned len = in.U16(opt + 2);
        if (code == 0 || opt + 4 + len > end) break;
        if (code == 9 && len >= 1) {
          const uint8_t v = body[opt + 4 - (at + 8)];
          const unsigned exp = v & 0x7F;
          uint64_t units = 1;
          bool fits = true;
          for (unsigned i = 0; i < exp && fits; ++i) {
            if (units > (uint64_t{1} << 62) / 10) fits = false;
            units *= (v & 0x80) ? 2 : 10;
          }
          if (fits && units) itf.unitsPerSecond = units;
        }
        opt += 4 + ((len + 3) & ~3u);
      }
      interfaces.push_back(itf);
    } else if (type == 6 && bodySize >= 20) {  // enhanced packet
      const uint32_t id = in.U32(at + 8);
      const uint64_t ts = uint64_t{in.U32(at + 12)} << 32 | in.U32(at + 16);
      const uint32_t incl = in.U32(at + 20);
      if (id >= interfaces.size() || incl > bodySize - 20)
        return Fail(r, "The capture file is damaged: a packet block does not fit.");
      const Interface& itf = interfaces[id];
      const int64_t sec = static_cast<int64_t>(ts / itf.unitsPerSecond);
      const uint64_t rest = ts % itf.unitsPerSecond;
      uint32_t ns = static_cast<uint32_t>(static_cast<long double>(rest) * 1e9L /
                                          static_cast<long double>(itf.unitsPerSecond));
      if (ns >= 1000000000u) ns = 999999999u;
      Hand(itf.link, body + 20, incl, sec, ns, onPacket, r);
    } else if (type == 3 && bodySize >= 4) {  // simple packet, interface 0
      if (interfaces.empty()) return Fail(r, "The capture file is damaged: a packet comes before its interface.");
      const uint32_t orig = in.U32(at + 8);
      const std::size_t incl = std::min<std::size_t>(orig, bodySize - 4);
      Hand(interfaces[0].link, body + 4, incl, 0, 0, onPacket, r);
    }
    in.Skip(length);
  }
  r.ok = true;
  return r;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

CaptureReadResult ReadCapture(const uint8_t* bytes, std::size_t size,
                              const std::function<void(const CapturePacket&)>& onPacket) {
  Reader in(bytes, size);
  if (!in.Has(4)) return Fail({}, "The file is not a capture file.");
  const uint8_t* m = bytes;
  auto is = [m](uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return m[0] == a && m[1] == b && m[2] == c && m[3] == d; };
  if (is(0xD4, 0xC3, 0xB2, 0xA1)) return ReadClassic(in, false, onPacket);
  if (is(0x4D, 0x3C, 0xB2, 0xA1)) return ReadClassic(in, true, onPacket);
  if (is(0xA1, 0xB2, 0xC3, 0xD4)) {
    in.BigEndian(true);
    return ReadClassic(in, false, onPacket);
  }
  if (is(0xA1, 0xB2, 0x3C, 0x4D)) {
    in.BigEndian(true);
    return ReadClassic(in, true, onPacket);
  }
  if (is(0x0A, 0x0D, 0x0D, 0x0A)) return ReadNg(in, onPacket);
  return Fail({}, "The file is not a capture file.");
}

PcapWriter::PcapWriter() {
  Put32(bytes_, 0xA1B2C3D4);
  Put16(bytes_, 2);
  Put16(bytes_, 4);
  Put32(bytes_, 0);  // this zone
  Put32(bytes_, 0);  // accuracy
  Put32(bytes_, kSnapLength);
  Put32(bytes_, kLinkRaw);
}

void PcapWriter::Add(const uint8_t* packet, std::size_t size, int64_t seconds, uint32_t nanoseconds) {
  const uint32_t n = static_cast<uint32_t>(std::min<std::size_t>(size, kSnapLength));
  Put32(bytes_, static_cast<uint32_t>(seconds));
  Put32(bytes_, nanoseconds / 1000);
  Put32(bytes_, n);
  Put32(bytes_, static_cast<uint32_t>(size));
  bytes_.insert(bytes_.end(), packet, packet + n);
}

}  // namespace wl
