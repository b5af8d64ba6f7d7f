// The firmware engine library Korvex.dll, as Orrelin calls it: a class of static operations
// and two string types. Callers create the string objects with the library's own
// constructors and destructors, for one operation each, so memory never crosses modules.
#pragma once

#include <cstddef>

#if defined(_WIN32)
#  if defined(KORVEX_BUILDING)
#    define KORVEX_API __declspec(dllexport)
#  else
#    define KORVEX_API __declspec(dllimport)
#  endif
#else
#  define KORVEX_API
#endif

class KORVEX_API CStringX {
public:
    CStringX();
    CStringX(const CStringX& other);
    ~CStringX();

    CStringX& operator=(const wchar_t* text);
    CStringX& operator=(const CStringX& other);

    bool IsEmpty() const;
    // The text stays valid while this object lives unchanged.
    operator const wchar_t*() const;

private:
    wchar_t* m_text;  // never null; owned by this object, allocated by Korvex.dll
    std::size_t m_length;
};

class KORVEX_API CStringListX {
    struct Node;

public:
    // Designates an element of a list, or nothing once a walk has passed the end.
    class KORVEX_API POSITION {
    public:
        POSITION();
        operator CStringX*() const;

    private:
        friend class CStringListX;
        explicit POSITION(Node* node);
        Node* m_node;
    };

    CStringListX();
    ~CStringListX();
    CStringListX(const CStringListX&) = delete;
    CStringListX& operator=(const CStringListX&) = delete;

    POSITION GetHeadPosition() const;
    // The element at the position; the position moves to the next element or past the end.
    CStringX& GetNext(POSITION& position) const;

    void AddTail(const wchar_t* text);
    void RemoveAll();
    int GetCount() const;

private:
    Node* m_head;
    Node* m_tail;
    int m_count;
};

class KORVEX_API Korvex {
public:
    // Called once when the host library starts, before any other operation.
    static void InitDLL();

    // true for a valid DFU file; comment then holds the file's comment, possibly empty.
    static bool IsDFUFileValid(const wchar_t* path, CStringX& comment);
    // As above; on true all three numbers are set, 0xFFFF where the file states none.
    static bool IsDFUFileValid(const wchar_t* path, CStringX& comment, unsigned int& vendor, unsigned int& product,
                               unsigned int& release);

    // One element per serial port of the machine, in natural order (COM2 before COM10).
    static int GetCOMPortNames(CStringListX& names);
    // One element per attached USB device with a DFU interface.
    static int GetUSBDeviceNames(CStringListX& names);
};
