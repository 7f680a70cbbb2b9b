#include "framework/Collections.h"
#include "framework/Exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CShape : public CObject {
    DECLARE_DYNCREATE(CShape)
};
IMPLEMENT_DYNCREATE(CShape, CObject)

class CCircle : public CShape {
    DECLARE_DYNCREATE(CCircle)
};
IMPLEMENT_DYNCREATE(CCircle, CShape)

TEST(CObject, RuntimeClassesKnowTheirBases)
{
    CCircle circle;
    EXPECT_STREQ("CCircle", circle.GetRuntimeClass()->m_lpszClassName);
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CObject)));
    CShape shape;
    EXPECT_FALSE(shape.IsKindOf(RUNTIME_CLASS(CCircle)));

    const CRuntimeClass* byName = CRuntimeClass::FromName("CCircle");
    ASSERT_EQ(RUNTIME_CLASS(CCircle), byName);
    CObject* created = byName->CreateObject();
    ASSERT_NE(nullptr, created);
    EXPECT_TRUE(created->IsKindOf(RUNTIME_CLASS(CCircle)));
    delete created;
    EXPECT_EQ(nullptr, CRuntimeClass::FromName("CNoSuchClass"));
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CObList)->CreateObject());   // not dynamically creatable
}

// The list as text, walked forward and backward; both walks must agree.
std::string Walk(const CPtrList& list)
{
    std::string forward;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        forward += *static_cast<const char*>(list.GetNext(pos));
    std::string backward;
    for (POSITION pos = list.GetTailPosition(); pos;)
        backward.insert(backward.begin(), *static_cast<const char*>(list.GetPrev(pos)));
    EXPECT_EQ(forward, backward);
    EXPECT_EQ((int)forward.size(), list.GetCount());
    return forward;
}

TEST(CPtrList, EditsKeepBothDirectionsConsistent)
{
    static const char a = 'a', b = 'b', c = 'c', d = 'd', e = 'e';
    void* pa = (void*)&a;
    void* pb = (void*)&b;
    void* pc = (void*)&c;
    void* pd = (void*)&d;
    void* pe = (void*)&e;

    CPtrList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    const POSITION posB = list.AddTail(pb);
    list.AddHead(pa);
    list.AddTail(pd);
    EXPECT_EQ("abd", Walk(list));
    list.InsertAfter(posB, pc);
    EXPECT_EQ("abcd", Walk(list));
    list.InsertBefore(list.GetHeadPosition(), pe);
    EXPECT_EQ("eabcd", Walk(list));
    list.InsertAfter(list.GetTailPosition(), pe);
    EXPECT_EQ("eabcde", Walk(list));

    EXPECT_EQ(list.GetHeadPosition(), list.Find(pe));
    EXPECT_EQ(list.GetTailPosition(), list.Find(pe, list.GetHeadPosition()));
    EXPECT_EQ(nullptr, list.Find(pe, list.GetTailPosition()));
    EXPECT_EQ(posB, list.FindIndex(2));
    EXPECT_EQ(nullptr, list.FindIndex(6));
    EXPECT_EQ(nullptr, list.FindIndex(-1));

    // Removing the current node while walking, using the position GetNext already moved on.
    for (POSITION pos = list.GetHeadPosition(); pos;) {
        const POSITION current = pos;
        if (list.GetNext(pos) == pe)
            list.RemoveAt(current);
    }
    EXPECT_EQ("abcd", Walk(list));
    EXPECT_EQ(pa, list.RemoveHead());
    EXPECT_EQ(pd, list.RemoveTail());
    EXPECT_EQ("bc", Walk(list));
    EXPECT_EQ(pb, list.GetHead());
    EXPECT_EQ(pc, list.GetTail());

    CPtrList other;
    other.AddTail(pd);
    other.AddTail(pe);
    list.AddTail(&other);
    list.AddHead(&other);
    EXPECT_EQ("debcde", Walk(list));
    list.RemoveAll();
    EXPECT_EQ("", Walk(list));
    EXPECT_EQ(nullptr, list.GetTailPosition());
}

TEST(CStringArray, GrowsAndShifts)
{
    CStringArray names;
    EXPECT_EQ(0, names.Add("one"));
    names.SetAtGrow(3, "four");
    EXPECT_EQ(4, names.GetSize());
    EXPECT_TRUE(names[1].IsEmpty());
    names.InsertAt(1, "two", 2);
    EXPECT_STREQ("two", names[2]);
    EXPECT_STREQ("four", names[5]);
    names.RemoveAt(0, 3);
    EXPECT_EQ(3, names.GetSize());
    EXPECT_STREQ("four", names.GetAt(names.GetUpperBound()));
}

// Counts deletions, to see who owns a caught exception.
class CCountedException : public CException {
public:
    ~CCountedException() override { ++s_deleted; }
    static int s_deleted;
};
int CCountedException::s_deleted = 0;

TEST(TryCatch, CatchBlockDeletesUnlessRethrown)
{
    CCountedException::s_deleted = 0;
    TRY
    {
        throw new CCountedException;
    }
    CATCH(CException, e)
    {
        EXPECT_EQ(0, CCountedException::s_deleted);
    }
    END_CATCH
    EXPECT_EQ(1, CCountedException::s_deleted);

    CCountedException::s_deleted = 0;
    try {
        TRY
        {
            throw new CCountedException;
        }
        CATCH_ALL(e)
        {
            THROW_LAST();
        }
        END_CATCH_ALL
    } catch (CException* e) {
        EXPECT_EQ(0, CCountedException::s_deleted);
        e->Delete();
    }
    EXPECT_EQ(1, CCountedException::s_deleted);
}

TEST(TryCatch, OutOfMemoryExceptionIsNeverDeleted)
{
    for (int i = 0; i < 2; ++i) {
        TRY
        {
            AfxThrowMemoryException();
        }
        CATCH(CMemoryException, e)
        {
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
        }
        END_CATCH
    }
}

}  // namespace
