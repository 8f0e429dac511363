// String and field handles. A Field4 is a Str4 whose bytes are a field of the record buffer.
#pragma once

struct Data4;
struct Field4rec;

// The virtual operations keep this slot order (0-11); the destructor comes after them.
class Str4 {
public:
    Str4() = default;
    Str4(const Str4&) = delete;
    Str4& operator=(const Str4&) = delete;

    virtual operator long();                               // 0: numeric value
    virtual void changed() {}                              // 1
    virtual int decimals() const { return 0; }             // 2
    virtual unsigned long len() const;                     // 3
    virtual unsigned long lenMax() const;                  // 4
    virtual int lockCheck() { return 0; }                  // 5
    virtual unsigned long limit() const { return len(); }  // 6: terminator limit
    virtual char* ptr() = 0;                               // 7: writable pointer
    virtual const char* ptr() const = 0;                   // 8: read pointer
    virtual const char* str();                        // 9: NUL-terminated copy (at most 256 chars)
    virtual int setLen(unsigned long) { return -1; }  // 10
    virtual int setMax(unsigned long) { return -1; }  // 11
    virtual ~Str4();

    // Copies text into the string: blank-padded on the right, cut at the length.
    int assign(const char* text);
    int assign(const char* text, unsigned long textLen);

protected:
    char* textBuffer();  // the 257-byte text buffer, allocated on first use
    char* text_ = nullptr;
};

class Field4 : public Str4 {
public:
    Field4(Data4* data, Field4rec* rec) : data_(data), rec_(rec) {}

    operator long() override;
    void changed() override;
    int decimals() const override;
    unsigned long len() const override;
    unsigned long lenMax() const override;
    int lockCheck() override;
    char* ptr() override;
    const char* ptr() const override;
    const char* str() override;

    // As Str4's, without the virtual calls: filling a record calls these for every field.
    int assign(const char* text);
    int assign(const char* text, unsigned long textLen);

    Data4* data() const { return data_; }
    Field4rec* rec() const { return rec_; }

private:
    Data4* data_;
    Field4rec* rec_;
};

// Field accessors.
const char* f4name(const Field4* f);
char f4type(const Field4* f);
int f4len(const Field4* f);
int f4decimals(const Field4* f);
char* f4ptr(Field4* f);
long f4long(Field4* f);
const char* f4str(Field4* f);
int f4assign(Field4* f, const char* text);
Data4* f4data(const Field4* f);
// 1 when the field is marked null (level-30 tables), else 0.
int f4null(const Field4* f);
