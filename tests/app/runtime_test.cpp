// The runtime: text, objects and references, faults, handles, embedded data,
// math helpers and the string-to-integer conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <thread>

#include "korvagl/app/plugin_list.h"
#include "korvagl/app/runtime.h"

namespace korva {
namespace {

TEST(StringTest, WidensAndNarrowsBytes) {
    const String s(std::string("\xFF\x01" "A", 3));
    ASSERT_EQ(s.Length(), 3);
    EXPECT_EQ(s[0], 0x00FF);
    EXPECT_EQ(s[1], 0x0001);
    EXPECT_EQ(s.ToBytes(), std::string("\xFF\x01" "A", 3));
    // Narrowing keeps only the low byte of each unit.
    EXPECT_EQ(String(u"\u0141\u00E9").ToBytes(), std::string("\x41\xE9"));
    EXPECT_TRUE(String(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_EQ(String(std::string("a\0b", 3)).Length(), 3);
    // More units than a String can count are refused before anything is read.
    const char byte = 'x';
    EXPECT_THROW(String(std::string_view(&byte, (size_t{1} << 32) + 1)), TRuntimeError);
    EXPECT_THROW(String(std::u16string_view(u"x", (size_t{1} << 32) + 1)), TRuntimeError);
}

TEST(StringTest, OrdersByUnitThenLength) {
    EXPECT_LT(String("ab"), String("b"));
    EXPECT_LT(String("ab"), String("abc"));
    EXPECT_GT(String(u"\u0100"), String("z"));
    EXPECT_EQ(String("abc").Compare(String("abc")), 0);
    EXPECT_EQ(String(), String(""));
}

TEST(StringTest, Utf8RoundTripAndRepair) {
    const std::string text = "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";
    const String s = String::FromUtf8(text);
    EXPECT_EQ(s.Length(), 7);  // the emoji is a surrogate pair
    EXPECT_EQ(s.ToUtf8(), text);
    EXPECT_EQ(String::FromUtf8("\xC3").ToUtf8(), "\xEF\xBF\xBD");
    EXPECT_EQ(String::FromUtf8("\xC0\x80").Length(), 1);  // overlong form refused
}

TEST(StringTest, SearchSubstringAndReplace) {
    const String hello("hello");
    EXPECT_EQ(hello.Find("l"), 2);
    EXPECT_EQ(hello.Find("l", 3), 3);
    EXPECT_EQ(hello.Find("z"), -1);
    EXPECT_EQ(hello.Find("o", 99), -1);
    // Positions outside the text read as spaces.
    EXPECT_EQ(hello.Substring(-2, 2), String("  he"));
    EXPECT_EQ(hello.Substring(3, 7), String("lo  "));
    EXPECT_TRUE(hello.Substring(3, 3).IsEmpty());
    EXPECT_EQ(String("aaaa").ReplaceAll("aa", "b"), String("bb"));
    EXPECT_EQ(String("abcabc").ReplaceAll("bc", ""), String("aa"));
    EXPECT_TRUE(hello.ReplaceAll("z", "y").SameText(hello));
    EXPECT_TRUE(hello.ReplaceAll("", "y").SameText(hello));
    EXPECT_EQ(String("ab") + String("cd"), String("abcd"));
    EXPECT_EQ("x" + hello + "!", String("xhello!"));
}

TEST(StringTest, CopiesShareAcrossThreads) {
    const String shared("shared text");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared] {
            for (int i = 0; i < 10000; ++i) {
                String copy = shared;
                ASSERT_EQ(copy.Length(), 11);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(shared, String("shared text"));
}

TEST(StringToIntTest, FollowsTheRuntimeRules) {
    EXPECT_EQ(StringToInt("  21"), 21);
    EXPECT_EQ(StringToInt("\t-12abc"), -12);
    EXPECT_EQ(StringToInt("+7"), 7);
    EXPECT_EQ(StringToInt("$ff"), 255);
    EXPECT_EQ(StringToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StringToInt("%101"), 5);
    EXPECT_EQ(StringToInt("%102"), 2);
    EXPECT_EQ(StringToInt("abc"), 0);
    EXPECT_EQ(StringToInt(""), 0);
    EXPECT_EQ(StringToInt("-"), 0);
    EXPECT_EQ(StringToInt("4294967297"), 1);  // wraps like 32-bit arithmetic
    EXPECT_EQ(StringToLong("$100000000"), 0x100000000LL);
}

struct Counted : Object {
    explicit Counted(int* destroyed) : destroyed(destroyed) {}
    ~Counted() override { ++*destroyed; }
    int* destroyed;
};
struct Derived : Counted {
    using Counted::Counted;
};

TEST(ObjectTest, FreedWhenTheLastReferenceGoes) {
    int destroyed = 0;
    {
        Ref<Counted> a = New<Counted>(&destroyed);
        Ref<Object> b = a;
        EXPECT_EQ(a->RefCount(), 2);
        a = nullptr;
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectTest, NullObjectRaisesOnUse) {
    Ref<Object> none;
    EXPECT_TRUE(none.IsNull());
    EXPECT_THROW(none->ToString(), TNullObjectFault);
    EXPECT_THROW(*none, TNullObjectFault);
    try {
        none->Compare(*none);
        FAIL();
    } catch (const TRuntimeFault& fault) {
        EXPECT_EQ(fault.ToString(), String("Attempt to access field or method of Null object"));
    }
}

TEST(ObjectTest, CheckedDowncast) {
    int destroyed = 0;
    Ref<Object> plain = New<Counted>(&destroyed);
    Ref<Object> derived = New<Derived>(&destroyed);
    EXPECT_TRUE(DownCast<Derived>(plain).IsNull());
    EXPECT_FALSE(DownCast<Counted>(derived).IsNull());
    EXPECT_TRUE(DownCast<Counted>(Ref<Object>()).IsNull());
}

TEST(ObjectTest, RootOperationsUseTheAddress) {
    Ref<Object> a = New<Object>(), b = New<Object>();
    char expected[32];
    std::snprintf(expected, sizeof expected, "%p", static_cast<void*>(a.Get()));
    EXPECT_EQ(a->ToString(), String(expected));
    EXPECT_EQ(a->Compare(*a), 0);
    EXPECT_EQ(a->Compare(*b), -b->Compare(*a));
    EXPECT_NE(a->Compare(*b), 0);
    // The null object equals only itself and sorts first.
    EXPECT_EQ(CompareObjects(Ref<Object>(), Ref<Object>()), 0);
    EXPECT_LT(CompareObjects(Ref<Object>(), a), 0);
    EXPECT_GT(CompareObjects(a, Ref<Object>()), 0);
    EXPECT_LT(CompareObjects(BoxString("a"), BoxString("b")), 0);
    EXPECT_EQ(UnboxString(BoxString("x")), String("x"));
    EXPECT_TRUE(UnboxString(a).IsEmpty());
}

struct TPlugin : Object {
    Ref<TPlugin> next;
};

// The rules every registry (openers, pixmap, font and sample decoders) shares.
TEST(PluginListTest, NewestFirstAndEachEntryOnce) {
    TPluginList<TPlugin> list, other;
    Ref<TPlugin> a = New<TPlugin>(), b = New<TPlugin>(), c = New<TPlugin>();
    EXPECT_TRUE(list.Add(a));
    EXPECT_TRUE(list.Add(b));
    EXPECT_FALSE(list.Add(a));  // the tail again would close a ring
    EXPECT_FALSE(list.Add(b));
    EXPECT_FALSE(other.Add(b));  // linked into another list already
    EXPECT_EQ(list.Head(), b);
    EXPECT_EQ(list.Head()->next, a);
    EXPECT_EQ(a->next, nullptr);
    EXPECT_THROW(list.Add(Ref<TPlugin>()), TNullObjectFault);
    EXPECT_TRUE(other.Add(c));
    EXPECT_EQ(a->RefCount(), 2);  // the caller's and b's link; the list holds only its head
    // Lists live for the whole process; let the test's ones go here.
    list.Head()->Release();
    other.Head()->Release();
}

TEST(FaultTest, TextsAreExact) {
    EXPECT_EQ(TAbstractMethodFault().ToString(), String("Attempt to call abstract method"));
    EXPECT_EQ(TUnsetFunctionFault().ToString(), String("Attempt to call uninitialized function pointer"));
    EXPECT_EQ(TArrayIndexFault().ToString(), String("Attempt to index array element beyond array length"));
    EXPECT_EQ(TDataEndFault().ToString(), String("Attempt to read beyond end of data"));
    try {
        RaiseRuntimeError("List index out of range");
    } catch (const TRuntimeError& error) {
        EXPECT_EQ(error.ToString(), String("List index out of range"));
        EXPECT_EQ(error.text, String("List index out of range"));
        EXPECT_STREQ(error.what(), "List index out of range");
    }
    EXPECT_EQ(TRuntimeError::Create("t").text, String("t"));
}

TEST(HandleTest, StableHandlesAndRelease) {
    EXPECT_EQ(ObjectToHandle(Ref<Object>()), 0);
    EXPECT_TRUE(HandleToObject(0).IsNull());
    int destroyed = 0;
    Ref<Object> object = New<Counted>(&destroyed);
    const int32_t h = ObjectToHandle(object);
    EXPECT_GT(h, 0);
    EXPECT_EQ(ObjectToHandle(object), h);
    EXPECT_EQ(HandleToObject(h), object);
    const int32_t other = ObjectToHandle(New<Object>());
    EXPECT_NE(other, h);
    object = nullptr;
    EXPECT_EQ(destroyed, 0);  // the table still holds it
    ReleaseHandle(h);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(HandleToObject(h).IsNull());
    ReleaseHandle(h);  // twice does nothing
    ReleaseHandle(other);
    EXPECT_TRUE(HandleToObject(-5).IsNull());
}

TEST(EmbeddedDataTest, NewestEntryWins) {
    static const char first[] = "first", second[] = "second!";
    EXPECT_EQ(EmbeddedDataAddress("runtime-test-data"), nullptr);
    EXPECT_EQ(EmbeddedDataLength("runtime-test-data"), 0);
    EXPECT_EQ(RegisterEmbeddedData("runtime-test-data", first, 5), 1);
    EXPECT_EQ(EmbeddedDataAddress("runtime-test-data"), first);
    RegisterEmbeddedData("runtime-test-data", second, 7);
    EXPECT_EQ(EmbeddedDataAddress("runtime-test-data"), second);
    EXPECT_EQ(EmbeddedDataLength("runtime-test-data"), 7);
    EXPECT_EQ(EmbeddedDataAddress("Runtime-test-data"), nullptr);  // names match exactly
}

TEST(MathTest, DegreesBothWays) {
    EXPECT_DOUBLE_EQ(Sin(90), 1.0);
    EXPECT_NEAR(Cos(90), 0.0, 1e-15);
    EXPECT_NEAR(Tan(45), 1.0, 1e-15);
    EXPECT_DOUBLE_EQ(ATan2(1, 1), 45.0);
    EXPECT_DOUBLE_EQ(ASin(1), 90.0);
    EXPECT_DOUBLE_EQ(ACos(-1), 180.0);
    EXPECT_DOUBLE_EQ(ATan(1), 45.0);
    EXPECT_DOUBLE_EQ(Sin(30), std::sin(30 * 0.017453292519943295));
    EXPECT_DOUBLE_EQ(Floor(-1.5), -2.0);
    EXPECT_DOUBLE_EQ(Ceil(-1.5), -1.0);
    EXPECT_DOUBLE_EQ(Log10(1000), 3.0);
}

}  // namespace
}  // namespace korva
