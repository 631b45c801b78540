#include "util/my_collection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

char* Item(const char* text) { return strdup(text); }
const char* Text(const TMyCollection& c, int32_t i) { return static_cast<const char*>(c.At(i)); }

TEST(MyCollection, FirstAddTakesCapacityThenGrowsByDelta) {
  TMyCollection c(10, 1);
  EXPECT_EQ(c.Capacity(), 10);
  int slots[11];
  for (int i = 0; i < 10; i++) c.Add(&slots[i]);
  EXPECT_EQ(c.Count(), 10);
  EXPECT_EQ(c.Capacity(), 10);
  c.Add(&slots[10]);
  EXPECT_EQ(c.Count(), 11);
  EXPECT_EQ(c.Capacity(), 11);
  for (int i = 0; i < 11; i++) EXPECT_EQ(c.At(i), &slots[i]);
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
  EXPECT_EQ(c.Capacity(), 3);
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
  c.Insert(x, 1);  // full: grows by delta first
  EXPECT_EQ(c.Capacity(), 5);
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
