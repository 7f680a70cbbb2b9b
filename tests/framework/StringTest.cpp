#include "framework/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct SliceCase {
    const char* text;
    int first;
    int count;
    const char* mid;
    const char* left;   // Left(count)
    const char* right;  // Right(count)
};

// Edges: negative and oversized positions and counts are clamped, never read outside the text.
const SliceCase kSlices[] = {
    {"abcdef", 0, 3, "abc", "abc", "def"},
    {"abcdef", 2, 2, "cd", "ab", "ef"},
    {"abcdef", 4, 10, "ef", "abcdef", "abcdef"},
    {"abcdef", 6, 1, "", "a", "f"},
    {"abcdef", 9, 2, "", "ab", "ef"},
    {"abcdef", -3, 2, "ab", "ab", "ef"},
    {"abcdef", 1, -1, "", "", ""},
    {"abcdef", 0, 0, "", "", ""},
    {"", 0, 5, "", "", ""},
};

TEST(CString, SlicesClampAtEdges)
{
    for (const SliceCase& c : kSlices) {
        const CString text(c.text);
        SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.first) + "," + std::to_string(c.count));
        EXPECT_STREQ(c.mid, text.Mid(c.first, c.count));
        EXPECT_STREQ(c.left, text.Left(c.count));
        EXPECT_STREQ(c.right, text.Right(c.count));
    }
    EXPECT_STREQ("def", CString("abcdef").Mid(3));
    EXPECT_STREQ("", CString("abcdef").Mid(7));
}

struct FindCase {
    const char* text;
    const char* what;
    int start;
    int found;
};

const FindCase kFinds[] = {
    {"C:\\dir\\file.tc", "\\", 0, 2},
    {"C:\\dir\\file.tc", "\\", 3, 6},
    {"C:\\dir\\file.tc", ".tc", 0, 11},
    {"C:\\dir\\file.tc", "x", 0, -1},
    {"C:\\dir\\file.tc", "tc", 13, -1},
    {"C:\\dir\\file.tc", "C", -1, -1},
    {"", "a", 0, -1},
    {"aaa", "aa", 1, 1},
};

TEST(CString, FindFromStart)
{
    for (const FindCase& c : kFinds) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.what);
        EXPECT_EQ(c.found, CString(c.text).Find(c.what, c.start));
        if (std::strlen(c.what) == 1) {
            EXPECT_EQ(c.found, CString(c.text).Find(c.what[0], c.start));
        }
    }
}

TEST(CString, ReverseFindAndFindOneOf)
{
    const CString path("C:\\dir\\file.tc");
    EXPECT_EQ(6, path.ReverseFind('\\'));
    EXPECT_EQ(11, path.ReverseFind('.'));
    EXPECT_EQ(-1, path.ReverseFind('/'));
    EXPECT_EQ(1, path.FindOneOf(":."));
    EXPECT_EQ(-1, CString().ReverseFind('a'));
}

TEST(CString, FormatsAnyLength)
{
    CString s;
    s.Format("%d:%d:%d", 0, 1, 5);
    EXPECT_STREQ("0:1:5", s);
    s.Format("CDB %02x %02x", 0x12, 0xab);
    EXPECT_STREQ("CDB 12 ab", s);
    s.Format("%s-%5.2f-%c", "x", 2.5, 'z');
    EXPECT_STREQ("x- 2.50-z", s);

    // Far beyond any fixed working buffer.
    const std::string longText(10000, 'q');
    s.Format("<%s|%s>", longText.c_str(), longText.c_str());
    ASSERT_EQ(20003, s.GetLength());
    EXPECT_EQ('<', s[0]);
    EXPECT_EQ('|', s[10001]);
    EXPECT_EQ('>', s[20002]);

    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

// A string class built on CString, as message texts are.
class CNamedText : public CString {
public:
    explicit CNamedText(LPCSTR text) : CString(text) {}
};

TEST(CString, FormatTakesStringObjectsAsText)
{
    const CString name("film");
    const CNamedText label("holder");
    char buffer[] = "array";
    CString s;
    s.Format("%s/%s/%s/%d", name, label, buffer, 7);
    EXPECT_STREQ("film/holder/array/7", s);
    s.Format("[%s]", s);   // its own text as an argument
    EXPECT_STREQ("[film/holder/array/7]", s);
}

TEST(CString, CaseAndComparison)
{
    CString s("Scan:File.BMP");
    s.MakeLower();
    EXPECT_STREQ("scan:file.bmp", s);
    s.MakeUpper();
    EXPECT_STREQ("SCAN:FILE.BMP", s);
    EXPECT_EQ(0, s.CompareNoCase("scan:file.bmp"));
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_NE(0, s.Compare("scan:file.bmp"));

    EXPECT_TRUE(CString("abc") == "abc");
    EXPECT_TRUE("abc" == CString("abc"));
    EXPECT_TRUE(CString("abc") != CString("abd"));
    EXPECT_TRUE(CString("abc") < "abd");
    EXPECT_FALSE("abd" < CString("abc"));
    EXPECT_TRUE(CString("b") > CString("a"));
}

TEST(CString, ConcatenationAndTrim)
{
    CString s = CString("a") + "b" + 'c' + CString("d");
    s += "e";
    s += 'f';
    EXPECT_STREQ("abcdef", s);
    EXPECT_STREQ("xabcdef", 'x' + s);
    EXPECT_STREQ("yyabcdef", "yy" + s);

    CString padded("  \t value \r\n");
    padded.TrimLeft();
    EXPECT_STREQ("value \r\n", padded);
    padded.TrimRight();
    EXPECT_STREQ("value", padded);
    CString quoted("\"text\"");
    quoted.TrimLeft('"');
    quoted.TrimRight('"');
    EXPECT_STREQ("text", quoted);
    CString blank("   ");
    blank.TrimRight();
    EXPECT_TRUE(blank.IsEmpty());

    CString chars("a,b");
    chars.SetAt(1, ';');
    EXPECT_EQ(';', chars.GetAt(1));
    EXPECT_EQ(2, CString("a.b.c").Replace(".", "::"));
}

TEST(CString, BufferRoundTrip)
{
    CString s("old");
    char* buffer = s.GetBuffer(MAX_PATH);
    ASSERT_NE(nullptr, buffer);
    const DWORD length = GetWindowsDirectoryA(buffer, MAX_PATH);
    s.ReleaseBuffer();
    ASSERT_GT(length, 0u);
    EXPECT_EQ((int)length, s.GetLength());

    // A shorter explicit length, and a buffer smaller than the current text keeps the text.
    std::strcpy(s.GetBuffer(10), "0123456789");
    s.ReleaseBuffer(4);
    EXPECT_STREQ("0123", s);
    s.GetBuffer(1);
    s.ReleaseBuffer();
    EXPECT_STREQ("0123", s);
    std::strcpy(s.GetBufferSetLength(2), "z");
    s.ReleaseBuffer();
    EXPECT_STREQ("z", s);
}

TEST(CString, NullAndEmptyConstruction)
{
    EXPECT_TRUE(CString(static_cast<LPCSTR>(nullptr)).IsEmpty());
    EXPECT_STREQ("ab", CString("abc", 2));
    EXPECT_STREQ("---", CString('-', 3));
    CString s("x");
    s.Empty();
    EXPECT_STREQ("", s);
}

}  // namespace
