// refdbtool: the maintainers' tool for reference archives.
//   refdbtool pack OUT [--stored NAME]... [--plain-registry] [--path FOLDER] FILE...
//     (--path gives the folder part of the names of the files after it)
//   refdbtool list ARCHIVE
//   refdbtool extract ARCHIVE NAME
//   refdbtool lookup ARCHIVE TABLE KEY
// Errors: the reader's message on standard error, exit status 1.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/utf8_path.h"
#include "refdb/reference_tables.h"
#include "refdb/zlb_archive.h"
#include "tools/zlb_writer.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

int Usage() {
  std::cerr << "usage: refdbtool pack OUT [--stored NAME]... [--plain-registry] [--path FOLDER] FILE...\n"
               "       refdbtool list ARCHIVE\n"
               "       refdbtool extract ARCHIVE NAME\n"
               "       refdbtool lookup ARCHIVE TABLE KEY\n";
  return 2;
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(wl::PathFromUtf8(name), std::ios::binary);
  if (!in) throw std::runtime_error("Unable to open file (" + name + ")");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int Pack(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string out = args[0];
  std::set<std::string> stored;
  wl::ArchiveOptions options;
  std::vector<std::pair<std::string, std::string>> files;  // folder part, file
  std::string folder;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--path" && i + 1 < args.size()) {
      folder = args[++i];
    } else if (args[i] == "--stored" && i + 1 < args.size()) {
      stored.insert(args[++i]);
    } else if (args[i] == "--plain-registry") {
      options.compressRegistry = false;
    } else {
      files.emplace_back(folder, args[i]);
    }
  }
  std::vector<wl::ArchiveMember> members;
  for (const auto& [path, f] : files) {
    wl::ArchiveMember m;
    m.name = wl::Utf8FromPath(wl::PathFromUtf8(f).filename());
    m.path = path;
    m.data = ReadFile(f);
    m.stored = stored.count(m.name) > 0;
    members.push_back(std::move(m));
  }
  const std::string bytes = wl::BuildArchive(members, options);
  std::ofstream o(wl::PathFromUtf8(out), std::ios::binary | std::ios::trunc);
  if (!o || !o.write(bytes.data(), std::streamsize(bytes.size())) || !o.flush())
    throw std::runtime_error("Unable to write file (" + out + ")");
  return 0;
}

int List(const std::string& archiveName) {
  wl::TZLBArchive archive;
  archive.Open(archiveName);
  const int count = archive.Count();
  for (int i = 0; i < count; ++i) {
    const wl::ZLBEntry e = archive.Entry(i);
    std::cout << i << '\t' << e.FullName() << '\t' << e.uncompressedSize << '\t' << (e.stored ? "stored" : "zlib")
              << '\n';
  }
  return 0;
}

int Extract(const std::string& archiveName, const std::string& name) {
  wl::TZLBArchive archive;
  archive.Open(archiveName);
  std::string bytes;
  archive.ExtractByName(bytes, name);
  std::cout.write(bytes.data(), std::streamsize(bytes.size()));
  std::cout.flush();
  return 0;
}

int Lookup(const std::string& archiveName, const std::string& tableName, const std::string& key) {
  wl::TZLBArchive archive;
  archive.Open(archiveName);
  std::string bytes;
  archive.ExtractByName(bytes, tableName);
  const wl::StringTable table = wl::StringTable::FromText(bytes);
  std::cout << wl::LookupVerdict(key, table) << '\n';
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string& cmd = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (cmd == "pack") return Pack(rest);
  if (cmd == "list" && rest.size() == 1) return List(rest[0]);
  if (cmd == "extract" && rest.size() == 2) return Extract(rest[0], rest[1]);
  if (cmd == "lookup" && rest.size() == 3) return Lookup(rest[0], rest[1], rest[2]);
  return Usage();
}

int Main(const std::vector<std::string>& args) {
  try {
    return Run(args);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? std::size_t(n) : 1u, '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, s.data(), n, nullptr, nullptr);
    s.resize(std::char_traits<char>::length(s.c_str()));
    args.push_back(s);
  }
  return Main(args);
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
