#include <gtest/gtest.h>

#include "assertion_capture.h"
#include <thread>
#include <vector>

#include "core/counted_objects.h"
#include "core/obj.h"
#include "core/streams.h"

namespace zel {
namespace {

using ReportCapture = testing_support::TAssertionCapture;

using testing_support::TCounted;
using testing_support::TPlain;

TEST(Assertions, ReportTextAndException) {
  ReportCapture capture;
  try {
    ZEL_ASSERT(1 + 1 == 3, "Arithmetic");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    const std::string expected = "Asseertion with message: 'Arithmetic' (obj_test.cpp, line: " +
                                 std::to_string(__LINE__ - 4) + ")";
    EXPECT_EQ(e.Message(), expected);
    ASSERT_EQ(capture.reports.size(), 1u);
    EXPECT_EQ(capture.reports[0], expected);
  }
  ZEL_ASSERT(true, "never");
  EXPECT_EQ(capture.reports.size(), 1u);
}

TEST(Exceptions, DefaultMessageNamesTheClass) {
  EXPECT_STREQ(EStreamReadError().what(), "Orvane Exception: \"EStreamReadError\"");
  EXPECT_STREQ(EAbort().what(), "Orvane Exception: \"EAbort\"");
  EXPECT_STREQ(EStreamError("custom").what(), "custom");
  const EStreamSeekError seek;
  EXPECT_EQ(ExceptionClassName(seek), "EStreamSeekError");
  EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "runtime_error");
}

TEST(ClassNames, AreTheTypeNamesWithoutNamespace) {
  TMemoryStream stream;
  EXPECT_EQ(stream.ClassName(), "TMemoryStream");
  const TObj& base = stream;
  EXPECT_EQ(base.ClassName(), "TMemoryStream");
}

TEST(RefObj, LastReleaseDestroys) {
  int destroyed = 0;
  {
    auto first = MakeRef<TCounted>(&destroyed);
    EXPECT_EQ(first->RefCount(), 1);
    TRef<TCounted> second = first;
    EXPECT_EQ(first->RefCount(), 2);
    first.Reset();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(second->RefCount(), 1);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(RefObj, AdoptTakesOverAndDetachGivesUp) {
  int destroyed = 0;
  auto ref = MakeRef<TCounted>(&destroyed);
  TCounted* raw = ref.Detach();
  EXPECT_EQ(raw->RefCount(), 1);
  auto again = TRef<TCounted>::Adopt(raw);
  EXPECT_EQ(raw->RefCount(), 1);
  TRef<TRefObj> asBase = again;  // converting copy takes a reference
  EXPECT_EQ(raw->RefCount(), 2);
  again.Reset();
  asBase.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(RefObj, CountsStayExactAcrossThreads) {
  int destroyed = 0;
  auto shared = MakeRef<TCounted>(&destroyed);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100000; ++i) {
        TRef<TCounted> copy = shared;
        TRef<TCounted> another = copy;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(shared->RefCount(), 1);
  EXPECT_EQ(destroyed, 0);
  shared.Reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(RefObj, ReleaseAtZeroAndAddRefAtZeroChangeNothing) {
  ReportCapture capture;
  int destroyed = 0;
  auto* object = new TCounted(&destroyed);
  EXPECT_EQ(object->_AddRef(), 2);
  EXPECT_EQ(object->_Release(), 1);
  EXPECT_EQ(object->_Release(), 0);  // destroyed here
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(capture.reports.empty());
}

TEST(RefObj, NullReferenceOperationsAreReported) {
  ReportCapture capture;
  EXPECT_THROW(RefAddRef(nullptr), EAssertionFailed);
  EXPECT_THROW(RefRelease(nullptr), EAssertionFailed);
  ASSERT_EQ(capture.reports.size(), 2u);
  EXPECT_NE(capture.reports[0].find("'(nil)._AddRef call'"), std::string::npos);
  EXPECT_NE(capture.reports[1].find("'(nil)._Release call'"), std::string::npos);
}

TEST(RefObj, DeletingAnObjectThatIsStillHeldIsReported) {
  ReportCapture capture;
  int destroyed = 0;
  auto ref = MakeRef<TCounted>(&destroyed);
  TCounted* raw = ref.Detach();
  delete raw;  // the mistake being reported
  ASSERT_EQ(capture.reports.size(), 1u);
  EXPECT_NE(capture.reports[0].find("'Disposing the Non Zerro Ref Object, possible the \"TCounted.Free\" method "
                                    "direct call'"),
            std::string::npos);
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace zel
