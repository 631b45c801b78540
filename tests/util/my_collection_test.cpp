#include "util/my_collection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

char* Item(const char* text) { return strdup(text); }
const char* Text(const TMyCollection& c, int32_t i) { return static_cast<const char*>(c.At(i)); }

// Adds and inserts past every growth step keep each item, in order, for
// small and large steps alike.
TEST(MyCollection, KeepsEveryItemThroughGrowth) {
  for (int32_t step : {1, 2, 7}) {
    SCOPED_TRACE(step);
    TMyCollection c(step, step);
    int slots[200];
    for (int i = 0; i < 100; i++) c.Add(&slots[2 * i + 1]);
    // Each insert lands in a full array at some point, at the front, the
    // middle and the end.
    for (int i = 0; i < 100; i++) c.Insert(&slots[2 * i], 2 * i);
    ASSERT_EQ(c.Count(), 200);
    for (int i = 0; i < 200; i++) ASSERT_EQ(c.At(i), &slots[i]) << i;
  }
}

TEST(MyCollection, AtOutsideTheItemsIsNone) {
  TMyCollection c(2, 1);
  EXPECT_EQ(c.At(0), nullptr);
  int x;
  c.Add(&x);
  EXPECT_EQ(c.At(0), &x);
  EXPECT_EQ(c.At(1), nullptr);
  EXPECT_EQ(c.At(-1), nullptr);
}

// Run under AddressSanitizer: a second free of the slot would abort.
TEST(MyCollection, FreeAtThenFreeAllFreesEachItemOnce) {
  TMyCollection c(2, 1);
  c.Add(Item("a"));
  c.Add(Item("b"));
  c.Add(Item("c"));
  c.FreeAt(1);
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(c.At(1), nullptr);
  c.FreeAll();
  EXPECT_EQ(c.Count(), 0);
  c.Add(Item("d"));  // the kept array is reused
  EXPECT_STREQ(Text(c, 0), "d");
  c.FreeAll();
}

TEST(MyCollection, InsertMovesTheFollowingItemsUp) {
  TMyCollection c(3, 2);
  char a[] = "a", b[] = "b", cc[] = "c", x[] = "x", y[] = "y";
  c.Add(a);
  c.Add(b);
  c.Add(cc);
  c.Insert(x, 1);  // full: grows first
  c.Insert(y, c.Count());
  const char* want[] = {"a", "x", "b", "c", "y"};
  ASSERT_EQ(c.Count(), 5);
  for (int i = 0; i < 5; i++) EXPECT_STREQ(Text(c, i), want[i]) << i;
  c.Insert(x, 7);  // beyond count: ignored
  EXPECT_EQ(c.Count(), 5);
}

TEST(MyCollection, RemoveSwapAndClearOnlyForgetItems) {
  TMyCollection c(4, 1);
  char a[] = "a", b[] = "b", d[] = "d";
  char* owned = Item("owned");
  c.Add(a);
  c.Add(owned);
  c.Add(b);
  c.Add(d);
  c.FreeRemoveAt(1);  // frees "owned"
  c.RemoveAt(0);      // forgets "a"
  ASSERT_EQ(c.Count(), 2);
  EXPECT_STREQ(Text(c, 0), "b");
  EXPECT_STREQ(Text(c, 1), "d");
  c.Swap(0, 1);
  EXPECT_STREQ(Text(c, 0), "d");
  EXPECT_STREQ(Text(c, 1), "b");
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_STREQ(a, "a");
}

TEST(MyCollection, DestroyingLeavesTheItemsAllocated) {
  char* item = Item("kept");
  auto* c = new TMyCollection(1, 1);
  c->Add(item);
  delete c;  // through the virtual destructor
  EXPECT_STREQ(item, "kept");  // a use after free here would abort under ASan
  free(item);
}

}  // namespace
