// Root classes of everything that has a name: parameters, commands and skin resources.
#pragma once

namespace Korvel {

// Identifies a concrete class: the address of a tag owned by that class.
using KTypeId = const void*;

class Named {
public:
    virtual ~Named() = default;
    virtual const char* getName() const = 0;
    // Exact comparison, including length.
    virtual bool nameIs(const char* text) const;
};

class KIdBase : public Named {
public:
    static constexpr int kMaxName = 35;

    ~KIdBase() override = default;
    const char* getName() const override { return name_; }
    // Compares the first kMaxName characters, as names are stored cut to that length.
    bool nameIs(const char* text) const override;
    virtual KTypeId typeId() const = 0;
    virtual void setName(const char* text);
    virtual bool typeIs(KTypeId id) const { return typeId() == id; }
    virtual bool matches(const char* text, KTypeId id) const { return nameIs(text) && typeIs(id); }

private:
    char name_[kMaxName + 1] = {};
};

} // namespace Korvel
