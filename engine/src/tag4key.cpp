// Key forming: a record's key in the tag's key form, the tag's filter, and the plain
// field slices that let most tags skip the expression evaluator.
#include "engine/src/tag4impl.h"

namespace tag4i {

int reportCdx(Index4* i, int code) {
    if (code >= 0 || code == cdx4::kChanged) return code;  // kChanged: read again, no error
    Vask4* c = i->d->c;
    if (c->errorCode < 0) return code;  // already reported by the file layer
    long loc = i->cdx && i->cdx->lastLocation() ? static_cast<long>(i->cdx->lastLocation())
                                                : static_cast<long>(L4_corrupt);
    if (code == cdx4::kErrUnique || code == cdx4::kErrCandidate)
        return error4describe(c, code, loc, i->path.c_str(), i->cdx->lastText().c_str());
    return error4describe(c, code, loc, i->path.c_str(),
                          i->cdx ? i->cdx->lastText().c_str() : nullptr);
}

// The key of a record in the tag's key form, exactly the tag's key length.
int tagKey(Tag4* t, const char* rec, std::string& out) {
    if (!t->slices.empty()) {
        out.resize(t->tree->keyLen());
        char* o = out.data();
        for (const Tag4Slice& s : t->slices) {
            std::memcpy(o, rec + s.offset, s.len);
            o += s.len;
        }
        return 0;
    }
    char* k = nullptr;
    int n = expr4key(t->expr, &k, rec);
    if (n < 0) return n;
    unsigned kl = t->tree->keyLen();
    out.clear();
    if (nullMarked(t)) {
        bool isNull = false;
        for (int bit : t->nullBits)
            if ((static_cast<unsigned char>(rec[t->nullFlags + bit / 8]) >> (bit % 8)) & 1)
                isNull = true;
        out.push_back(isNull ? kNullMarker : kValueMarker);
    }
    size_t body = std::min<size_t>(static_cast<size_t>(n), kl - out.size());
    out.append(k, body);
    if (t->general)
        cdx4::collateGeneral(reinterpret_cast<uint8_t*>(out.data()) + (out.size() - body), body);
    out.resize(kl, static_cast<char>(t->tree->pad()));
    return 0;
}

// The null-capable fields a key expression reads: its names outside quotes that are not
// function names and match such a field.
std::vector<int> nullBitsOf(Data4* d, const std::string& text) {
    std::vector<int> bits;
    DataFile4* df = d->df;
    if (df->level != 30 || df->nullFlagsField < 0) return bits;
    size_t i = 0;
    while (i < text.size()) {
        char ch = text[i];
        if (ch == '"' || ch == '\'' || ch == '[') {
            char close = ch == '[' ? ']' : ch;
            size_t e = text.find(close, i + 1);
            i = e == std::string::npos ? text.size() : e + 1;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(ch)) && ch != '_') {
            ++i;
            continue;
        }
        size_t b = i;
        while (i < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
            ++i;
        if (b > 0 && text[b - 1] == '.') continue;  // .T., .NOT. and the like
        size_t after = i;
        while (after < text.size() && text[after] == ' ') ++after;
        if (after < text.size() && text[after] == '(') continue;  // a function
        if (text.compare(after, 2, "->") == 0) continue;          // an alias
        if (after < text.size() && text[after] == '.') {
            // "ALIAS.NAME" names a field of the alias; "NAME.AND." is the field itself.
            std::string op = text.substr(after, 5);
            for (auto& c : op) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (op.rfind(".AND.", 0) != 0 && op.rfind(".OR.", 0) != 0 && op.rfind(".NOT.", 0) != 0)
                continue;
        }
        std::string name = text.substr(b, i - b);
        for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (int f = 0; f < df->nUserFields; ++f) {
            const Field4rec& fr = df->fields[static_cast<size_t>(f)];
            if (fr.nullBit >= 0 && name == fr.name &&
                std::find(bits.begin(), bits.end(), fr.nullBit) == bits.end())
                bits.push_back(fr.nullBit);
        }
    }
    return bits;
}

// Whether new character tags of this context get the general collation.
bool generalCollation(const Vask4* c) {
    return c->collateCodePage != 0 || c->collatingSequence != 0;
}

int tagPasses(Tag4* t, const char* rec) {
    if (t->filterKind == Tag4filter::notDeleted) return rec[0] != '*';
    if (!t->filter) return 1;
    return expr4true(t->filter, rec);
}

// The key's fields when the key expression only joins character fields with "+" (the fields
// then appear in the compiled items in key order); empty otherwise.
std::vector<Tag4Slice> plainKeySlices(const Expr4* e, unsigned keyLen) {
    std::vector<Tag4Slice> out;
    unsigned total = 0;
    for (const E4item& it : e->items) {
        if (!it.row || it.row->kind == E4kind::end) continue;
        if (it.row->kind == E4kind::field && it.row->result == 'C' && it.len > 0) {
            out.push_back({static_cast<unsigned>(it.fieldOffset), static_cast<unsigned>(it.len)});
            total += static_cast<unsigned>(it.len);
        } else if (!(it.row->kind == E4kind::binary && it.row->code == 25 &&
                     it.row->result == 'C')) {
            return {};
        }
    }
    if (out.empty() || total != keyLen || static_cast<int>(total) != e->len) return {};
    return out;
}

// Whether the filter is exactly .NOT. DELETED(): the deleted function, then the negation.
bool filterIsNotDeleted(const Expr4* f) {
    std::vector<const E4item*> live;
    for (const E4item& it : f->items)
        if (it.row && it.row->kind != E4kind::end) live.push_back(&it);
    return live.size() == 2 && live[0]->row->kind == E4kind::function &&
           live[0]->row->code == 350 && live[0]->row->name &&
           std::strcmp(live[0]->row->name, "DELETED") == 0 && live[1]->row->kind == E4kind::unary &&
           live[1]->row->code == 18;
}

}  // namespace tag4i
