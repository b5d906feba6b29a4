#include "tools/zlb_writer.h"

#include <zlib.h>

#include <stdexcept>

#include "refdb/zlb_archive.h"

namespace wl {

std::string ZlibCompress(const std::string& data) {
  uLongf bound = compressBound(static_cast<uLong>(data.size()));
  std::string out(bound, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &bound, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw std::runtime_error("compression failed");
  out.resize(bound);
  return out;
}

std::string BuildArchive(const std::vector<ArchiveMember>& members, const ArchiveOptions& options) {
  std::string out;
  std::vector<ZLBEntry> entries;
  for (const ArchiveMember& m : members) {
    if (m.name.size() > 255 || m.path.size() > 255) throw std::runtime_error("member name too long: " + m.name);
    if (m.data.size() > 0xFFFFFFFFu) throw std::runtime_error("member too large: " + m.name);
    ZLBEntry e;
    e.fileName = m.name;
    e.path = m.path;
    e.uncompressedSize = static_cast<uint32_t>(m.data.size());
    e.dataOffset = static_cast<uint32_t>(out.size());
    e.crc = Crc32(0, m.data.data(), m.data.size());
    e.stored = m.stored;
    const std::string block = m.stored ? m.data : ZlibCompress(m.data);
    e.reserved1 = static_cast<uint32_t>(block.size());
    out += block;
    entries.push_back(e);
  }
  std::string reg(entries.size() * kRecordSize, '\0');
  for (std::size_t i = 0; i < entries.size(); ++i)
    EncodeRecord(entries[i], reinterpret_cast<uint8_t*>(reg.data()) + i * kRecordSize);
  ZLBFooter footer;
  footer.memberCount = static_cast<int32_t>(entries.size());
  footer.registryOffset = static_cast<uint32_t>(out.size());
  footer.registryCompressed = options.compressRegistry ? 1 : 0;
  out += options.compressRegistry ? ZlibCompress(reg) : reg;
  if (out.size() > 0xFFFFFFFFu) throw std::runtime_error("archive too large");
  footer.archiveCrc = Crc32(0, out.data(), out.size());
  std::string foot(kFooterSize, '\0');
  EncodeFooter(footer, reinterpret_cast<uint8_t*>(foot.data()));
  return out + foot;
}

void FixArchiveCrc(std::string& archive) {
  if (archive.size() < kFooterSize) return;
  const std::size_t body = archive.size() - kFooterSize;
  const uint32_t crc = Crc32(0, archive.data(), body);
  for (int i = 0; i < 4; ++i) archive[body + std::size_t(i)] = char(uint8_t(crc >> (8 * i)));
}

}  // namespace wl
