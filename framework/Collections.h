#pragma once

// Pointer lists walked by POSITION, and small arrays. Lists never own what they point at: callers
// delete the objects they put in before RemoveAll.

#include "framework/Object.h"
#include "framework/String.h"

#include <vector>

// An opaque list place; NULL ends a walk.
struct CListPlace;
typedef CListPlace* POSITION;

// The list machinery shared by CPtrList (void*) and CObList (CObject*). A POSITION is the node
// address, so it stays valid while other nodes are added or removed.
template <class TYPE>
class CPointerList : public CObject {
public:
    CPointerList() = default;
    CPointerList(const CPointerList&) = delete;
    CPointerList& operator=(const CPointerList&) = delete;
    ~CPointerList() override { RemoveAll(); }

    int GetCount() const { return m_count; }
    BOOL IsEmpty() const { return m_count == 0; }

    TYPE& GetHead() { ASSERT(m_head); return m_head->data; }
    TYPE GetHead() const { ASSERT(m_head); return m_head->data; }
    TYPE& GetTail() { ASSERT(m_tail); return m_tail->data; }
    TYPE GetTail() const { ASSERT(m_tail); return m_tail->data; }

    TYPE RemoveHead()
    {
        ASSERT(m_head);
        TYPE data = m_head->data;
        FreeNode(m_head);
        return data;
    }
    TYPE RemoveTail()
    {
        ASSERT(m_tail);
        TYPE data = m_tail->data;
        FreeNode(m_tail);
        return data;
    }

    POSITION AddHead(TYPE data) { return InsertBefore(GetHeadPosition(), data); }
    POSITION AddTail(TYPE data) { return InsertAfter(GetTailPosition(), data); }
    void AddHead(CPointerList* list)
    {
        for (POSITION pos = list->GetTailPosition(); pos;)
            AddHead(list->GetPrev(pos));
    }
    void AddTail(CPointerList* list)
    {
        for (POSITION pos = list->GetHeadPosition(); pos;)
            AddTail(list->GetNext(pos));
    }

    void RemoveAll()
    {
        while (m_head)
            FreeNode(m_head);
    }

    POSITION GetHeadPosition() const { return ToPosition(m_head); }
    POSITION GetTailPosition() const { return ToPosition(m_tail); }
    TYPE& GetNext(POSITION& pos) { Node* node = ToNode(pos); pos = ToPosition(node->next); return node->data; }
    TYPE GetNext(POSITION& pos) const { Node* node = ToNode(pos); pos = ToPosition(node->next); return node->data; }
    TYPE& GetPrev(POSITION& pos) { Node* node = ToNode(pos); pos = ToPosition(node->prev); return node->data; }
    TYPE GetPrev(POSITION& pos) const { Node* node = ToNode(pos); pos = ToPosition(node->prev); return node->data; }
    TYPE& GetAt(POSITION pos) { return ToNode(pos)->data; }
    TYPE GetAt(POSITION pos) const { return ToNode(pos)->data; }
    void SetAt(POSITION pos, TYPE data) { ToNode(pos)->data = data; }
    void RemoveAt(POSITION pos) { FreeNode(ToNode(pos)); }

    // A NULL position inserts at the head (before) or the tail (after).
    POSITION InsertBefore(POSITION pos, TYPE data)
    {
        Node* next = pos ? ToNode(pos) : m_head;
        Node* node = new Node{data, next ? next->prev : m_tail, next};
        Link(node);
        return ToPosition(node);
    }
    POSITION InsertAfter(POSITION pos, TYPE data)
    {
        Node* prev = pos ? ToNode(pos) : m_tail;
        Node* node = new Node{data, prev, prev ? prev->next : nullptr};
        Link(node);
        return ToPosition(node);
    }

    // Searches after startAfter (from the head when NULL); NULL when absent.
    POSITION Find(TYPE data, POSITION startAfter = nullptr) const
    {
        Node* node = startAfter ? ToNode(startAfter)->next : m_head;
        for (; node; node = node->next)
            if (node->data == data)
                return ToPosition(node);
        return nullptr;
    }
    // NULL when index is out of range.
    POSITION FindIndex(int index) const
    {
        if (index < 0 || index >= m_count)
            return nullptr;
        Node* node = m_head;
        while (index-- > 0)
            node = node->next;
        return ToPosition(node);
    }

private:
    struct Node {
        TYPE data;
        Node* prev;
        Node* next;
    };

    static POSITION ToPosition(Node* node) { return reinterpret_cast<POSITION>(node); }
    static Node* ToNode(POSITION pos) { ASSERT(pos); return reinterpret_cast<Node*>(pos); }

    void Link(Node* node)
    {
        (node->prev ? node->prev->next : m_head) = node;
        (node->next ? node->next->prev : m_tail) = node;
        ++m_count;
    }
    void FreeNode(Node* node)
    {
        (node->prev ? node->prev->next : m_head) = node->next;
        (node->next ? node->next->prev : m_tail) = node->prev;
        --m_count;
        delete node;
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
};

class CPtrList : public CPointerList<void*> {
    DECLARE_DYNAMIC(CPtrList)
};

class CObList : public CPointerList<CObject*> {
    DECLARE_DYNAMIC(CObList)
};

// Growable arrays over std::vector. SetAtGrow grows to the index; GetAt outside the array asserts.
template <class TYPE, class ARG_TYPE = TYPE>
class CValueArray : public CObject {
public:
    int GetSize() const { return (int)m_items.size(); }
    int GetUpperBound() const { return GetSize() - 1; }
    void SetSize(int newSize) { m_items.resize(newSize < 0 ? 0 : (size_t)newSize); }
    void RemoveAll() { m_items.clear(); }

    TYPE GetAt(int index) const { ASSERT(Valid(index)); return m_items[(size_t)index]; }
    void SetAt(int index, ARG_TYPE item) { ASSERT(Valid(index)); m_items[(size_t)index] = item; }
    TYPE& ElementAt(int index) { ASSERT(Valid(index)); return m_items[(size_t)index]; }
    TYPE operator[](int index) const { return GetAt(index); }
    TYPE& operator[](int index) { return ElementAt(index); }

    void SetAtGrow(int index, ARG_TYPE item)
    {
        if (index >= GetSize())
            SetSize(index + 1);
        SetAt(index, item);
    }
    int Add(ARG_TYPE item)
    {
        m_items.push_back(item);
        return GetUpperBound();
    }
    void InsertAt(int index, ARG_TYPE item, int count = 1)
    {
        if (index > GetSize())
            SetSize(index);
        m_items.insert(m_items.begin() + index, (size_t)count, item);
    }
    void RemoveAt(int index, int count = 1)
    {
        ASSERT(index >= 0 && count >= 0 && index + count <= GetSize());
        m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
    }

private:
    bool Valid(int index) const { return index >= 0 && index < GetSize(); }

    std::vector<TYPE> m_items;
};

class CPtrArray : public CValueArray<void*> {
    DECLARE_DYNAMIC(CPtrArray)
};

class CDWordArray : public CValueArray<DWORD> {
    DECLARE_DYNAMIC(CDWordArray)
};

class CStringArray : public CValueArray<CString, LPCSTR> {
    DECLARE_DYNAMIC(CStringArray)
};
