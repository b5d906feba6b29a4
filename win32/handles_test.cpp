#include "win32/handles.h"

#include <gtest/gtest.h>

#include <unknwn.h>

#include <type_traits>

namespace wl::win32 {
namespace {

static_assert(!std::is_copy_constructible_v<UniqueHandle> && std::is_nothrow_move_constructible_v<UniqueHandle>);
static_assert(!std::is_copy_assignable_v<UniqueHkey> && !std::is_copy_constructible_v<ComPtr<IUnknown>>);

bool IsOpen(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

TEST(Handles, OwnersCloseExactlyOnce) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(raw);
  {
    UniqueHandle a(raw);
    UniqueHandle b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), raw);
    UniqueHandle c;
    c = std::move(b);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  // INVALID_HANDLE_VALUE is the empty value of file and snapshot owners.
  UniqueHfile none(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none);
  UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  EXPECT_TRUE(snapshot);

  // release() hands the handle over; put() closes what was held first.
  HANDLE kept = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)).release();
  EXPECT_TRUE(IsOpen(kept));
  CloseHandle(kept);
  UniqueHandle p(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE before = p.get();
  *p.put() = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(IsOpen(before));
  EXPECT_TRUE(p);
}

TEST(Handles, ComScopeAndComPtr) {
  ComScope com;
  EXPECT_TRUE(com.ok());
  ComScope nested;  // a second initialisation on the thread is fine and undone
  EXPECT_TRUE(nested.ok());
  ComPtr<IUnknown> p;
  EXPECT_FALSE(p);
  EXPECT_EQ(p.get(), nullptr);
}

}  // namespace
}  // namespace wl::win32
