// Root of every library class: run-time class identity by name, and class-level allocation
// from the library's global heap.
#pragma once

#include <cstddef>

/// Compares two zero-terminated 8-bit texts (null counts as empty). Negative, 0 or positive;
/// the first differing bytes decide as unsigned values.
int CompareText(const char* a, const char* b);

class NPLObject {
public:
    /// The class's identity: one pointer per class, compared by DynamicCast.
    static const char* const ClassName;

    NPLObject() = default;
    NPLObject(const NPLObject&) = default;
    NPLObject& operator=(const NPLObject&) = default;
    virtual ~NPLObject();

    virtual const char* GetClassName() const;
    /// 1 when `name` is the text of this class's name or of one above it, byte for byte.
    virtual int IsKindOf(const char* name) const;
    /// This object when `namePointer` is the identity pointer of its class or of one above it;
    /// null otherwise. Only the pointer is compared, never the text.
    virtual void* DynamicCast(const char* namePointer);

    /// Instances live in the global library heap. A heap that yields no block gives null, and
    /// the new-expression then yields null without running the constructor.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;
};

/// Gives a class its own run-time identity. Put NPL_DECLARE_CLASS(Base) in the class body and
/// NPL_DEFINE_CLASS(Class, Base, "Name") in one source file.
#define NPL_DECLARE_CLASS(Base)                                          \
public:                                                                  \
    static const char* const ClassName;                                  \
    const char* GetClassName() const override;                           \
    int IsKindOf(const char* name) const override;                       \
    void* DynamicCast(const char* namePointer) override;                 \
                                                                         \
private:                                                                 \
    using NplBaseClass = Base;

#define NPL_DEFINE_CLASS(Class, Base, NameText)                          \
    const char* const Class::ClassName = NameText;                       \
    const char* Class::GetClassName() const { return ClassName; }        \
    int Class::IsKindOf(const char* name) const                          \
    {                                                                    \
        return CompareText(name, ClassName) == 0 ? 1 : Base::IsKindOf(name); \
    }                                                                    \
    void* Class::DynamicCast(const char* namePointer)                    \
    {                                                                    \
        return namePointer == ClassName ? this : Base::DynamicCast(namePointer); \
    }
