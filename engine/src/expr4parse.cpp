// Expression compiler: operator-precedence parser and type resolution.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/src/expr4internal.h"
#include "engine/src/expr4value.h"

namespace {

// Longest value an item may produce; longer results are refused as an overflow.
constexpr int kMaxLen = 65535;

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNameChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_';
}
char up(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool sameName(const char* a, size_t alen, const char* b) {
    size_t blen = std::strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (up(a[i]) != up(b[i])) return false;
    return true;
}

const E4row* findRow(E4kind kind, int code) {
    for (const E4row* r = e4rows; r->kind != E4kind::end; ++r)
        if (r->kind == kind && r->code == code) return r;
    return nullptr;
}

const E4row* fieldRow(char type) {
    for (const E4row* r = e4rows; r->kind != E4kind::end; ++r)
        if (r->kind == E4kind::field && r->result == type) return r;
    return nullptr;
}

// An operand of type t fits a parameter of type p: the same letter, a D field where a date
// number is wanted, any stored number where a number is wanted.
bool fits(char p, char t) {
    if (p == t) return true;
    if (p == 'd') return t == 'D';
    if (p == 'n') return t && std::strchr("NFIYBPQR", t) != nullptr;
    if (p == 'C') return t == 'Z';
    return false;
}

bool fixedLengthFunction(int code) {
    switch (code) {
        case 140:  // STR
        case 145:  // STRZERO
        case 150:  // SUBSTR
        case 240:  // LEFT
        case 245:  // RIGHT
        case 246:  // PADL
        case 247:  // PADR
            return true;
        default:
            return false;
    }
}

class Parser {
public:
    Parser(Expr4source* src, const char* text, bool forTag, Expr4* e)
        : src_(src), s_(text), n_(std::strlen(text)), forTag_(forTag), e_(e) {}

    // Returns 0 or the error code; reports nothing.
    int parse();
    int resolve();

private:
    struct Val {
        int start;
        int root;
    };
    enum class OpKind { op, paren, func };
    struct Op {
        const E4row* row;
        OpKind kind;
        int args;
        size_t valDepth;
    };

    void skipBlanks() {
        while (p_ < n_ && (s_[p_] == ' ' || s_[p_] == '\t')) ++p_;
    }
    bool at(const char* word) const {  // case-insensitive match at the current position
        size_t k = std::strlen(word);
        if (p_ + k > n_) return false;
        for (size_t i = 0; i < k; ++i)
            if (up(s_[p_ + i]) != up(word[i])) return false;
        return true;
    }
    bool atFrom(size_t pos, const char* word) const {
        size_t save = p_;
        const_cast<Parser*>(this)->p_ = pos;
        bool r = at(word);
        const_cast<Parser*>(this)->p_ = save;
        return r;
    }
    bool atLogicalWord(size_t pos) const {
        return atFrom(pos, ".AND.") || atFrom(pos, ".OR.") || atFrom(pos, ".NOT.") ||
               atFrom(pos, ".T.") || atFrom(pos, ".F.") || atFrom(pos, ".TRUE.") ||
               atFrom(pos, ".FALSE.");
    }

    void pushValue(const E4item& item) {
        vals_.push_back({static_cast<int>(out_.size()), static_cast<int>(out_.size())});
        out_.push_back(item);
    }
    void emit(const E4row* row, int k);
    int popToMarker();  // returns index of the marker in ops_, or -1
    int addConstant(const void* data, int len);
    int readValue(bool& done);
    int readName();
    int readNumber();
    int readString();
    int readOperator(bool& ended);

    Expr4source* src_;
    const char* s_;
    size_t n_;
    size_t p_ = 0;
    bool forTag_;
    Expr4* e_;
    std::vector<E4item> out_;
    std::vector<Val> vals_;
    std::vector<Op> ops_;
};

int Parser::addConstant(const void* data, int len) {
    int at = (e_->constUsed + 7) & ~7;
    if (len < 0 || at + len > static_cast<int>(e_->constants.size())) return -1;
    if (len) std::memcpy(e_->constants.data() + at, data, static_cast<size_t>(len));
    e_->constUsed = at + len;
    return at;
}

void Parser::emit(const E4row* row, int k) {
    E4item item;
    item.row = row;
    item.numParms = k;
    int start =
        k ? vals_[vals_.size() - static_cast<size_t>(k)].start : static_cast<int>(out_.size());
    if (row->numParms == E4ANY && k == 2) {
        // Adjacent .AND. (or .OR.) operators become one item with one more operand.
        Val left = vals_[vals_.size() - 2];
        if (out_[static_cast<size_t>(left.root)].row == row) {
            item.numParms = out_[static_cast<size_t>(left.root)].numParms + 1;
            out_.erase(out_.begin() + left.root);
        }
        if (out_.back().row == row) {
            item.numParms += out_.back().numParms - 1;
            out_.pop_back();
        }
    }
    vals_.resize(vals_.size() - static_cast<size_t>(k));
    out_.push_back(item);
    vals_.push_back({start, static_cast<int>(out_.size()) - 1});
}

int Parser::popToMarker() {
    while (!ops_.empty() && ops_.back().kind == OpKind::op) {
        const E4row* row = ops_.back().row;
        ops_.pop_back();
        emit(row, row->kind == E4kind::unary ? 1 : 2);
    }
    return ops_.empty() ? -1 : static_cast<int>(ops_.size()) - 1;
}

int Parser::readString() {
    char open = s_[p_];
    char close = open == '[' ? ']' : open;
    size_t b = p_ + 1;
    size_t q = b;
    while (q < n_ && s_[q] != close) ++q;
    if (q >= n_) return e4unterminated;
    int len = static_cast<int>(q - b);
    int off = addConstant(s_ + b, len);
    if (off < 0) return e4overflow;
    E4item item;
    item.row = findRow(E4kind::constant, 10);
    item.len = len;
    item.extra = off;
    pushValue(item);
    p_ = q + 1;
    return 0;
}

// Digits with an optional sign or point in front; a point that begins .AND., .OR. or .NOT.
// ends the number.
int Parser::readNumber() {
    size_t q = p_;
    bool neg = false;
    if (s_[q] == '+' || s_[q] == '-') neg = s_[q++] == '-';
    bool point = false, digits = false;
    std::string text;
    while (q < n_) {
        char c = s_[q];
        if (isDigit(c)) {
            digits = true;
            text += c;
        } else if (c == '.' && !point && !atLogicalWord(q)) {
            point = true;
            text += c;
        } else {
            break;
        }
        ++q;
    }
    if (!digits) return e4unrecValue;
    double v = e4v::parseNumber(text.c_str(), static_cast<int>(text.size()));
    if (neg) v = -v;
    int off = addConstant(&v, sizeof v);
    if (off < 0) return e4overflow;
    E4item item;
    item.row = findRow(E4kind::constant, 12);
    item.len = 8;
    item.extra = off;
    pushValue(item);
    p_ = q;
    return 0;
}

int Parser::readName() {
    size_t b = p_;
    while (p_ < n_ && isNameChar(s_[p_])) ++p_;
    size_t nameEnd = p_;
    skipBlanks();
    if (p_ < n_ && s_[p_] == '(') {
        const E4row* fn = nullptr;
        for (const E4row* r = e4rows; r->kind != E4kind::end && !fn; ++r)
            if (r->kind == E4kind::function && r->name && sameName(s_ + b, nameEnd - b, r->name))
                fn = r;
        if (!fn) return e4unrecFunction;
        ++p_;
        ops_.push_back({fn, OpKind::func, 0, vals_.size()});
        return 1;  // a function: the caller reads its arguments
    }
    // A field, perhaps with an alias in front: ALIAS->NAME or ALIAS.NAME.
    size_t fieldBegin = b, fieldEnd = nameEnd;
    size_t q = p_;  // after the blanks that follow the name
    bool arrow = q + 1 < n_ && s_[q] == '-' && s_[q + 1] == '>';
    bool dot = !arrow && nameEnd < n_ && s_[nameEnd] == '.' && nameEnd + 1 < n_ &&
               isLetter(s_[nameEnd + 1]) && !atLogicalWord(nameEnd);
    if (arrow || dot) {
        bool self = sameName(s_ + b, nameEnd - b, "FIELD");
        if (forTag_ && !(self && arrow)) return e4tagExpr;
        if (!self && !(src_->alias()[0] && sameName(s_ + b, nameEnd - b, src_->alias())))
            return e4dataName;
        p_ = arrow ? q + 2 : nameEnd + 1;
        skipBlanks();
        if (p_ >= n_ || !isLetter(s_[p_])) return e4unrecValue;
        fieldBegin = p_;
        while (p_ < n_ && isNameChar(s_[p_])) ++p_;
        fieldEnd = p_;
    } else {
        p_ = nameEnd;
    }
    if (fieldEnd - fieldBegin > 10) return e4unrecValue;
    int count = src_->numFields();
    for (int j = 1; j <= count; ++j) {
        Expr4field f = src_->field(j);
        if (f.name && sameName(s_ + fieldBegin, fieldEnd - fieldBegin, f.name)) {
            E4item item;
            item.row = fieldRow(f.type);
            if (!item.row) return e4typeSub;
            item.fieldIndex = j;
            item.fieldOffset = f.offset;
            item.len = f.len;
            pushValue(item);
            return 0;
        }
    }
    return e4fieldName;
}

// Reads one value (or a prefix operator, an opening bracket or a function name, after which
// another value follows).  done is set when a complete value was read.
int Parser::readValue(bool& done) {
    done = false;
    skipBlanks();
    if (p_ >= n_) {
        bool blankText = out_.empty() && ops_.empty();
        return blankText ? e4complete : e4unrecValue;
    }
    char c = s_[p_];
    if (c == ')') {
        if (!ops_.empty() && ops_.back().kind == OpKind::func && ops_.back().args == 0 &&
            vals_.size() == ops_.back().valDepth) {
            const E4row* fn = ops_.back().row;
            ops_.pop_back();
            ++p_;
            emit(fn, 0);
            done = true;
            return 0;
        }
        return e4complete;
    }
    if (c == ',') return e4complete;
    if (c == '(') {
        ++p_;
        ops_.push_back({nullptr, OpKind::paren, 0, vals_.size()});
        return 0;
    }
    if (c == '"' || c == '\'' || c == '[') {
        int rc = readString();
        done = rc == 0;
        return rc;
    }
    if (c == '!') {  // written by other programs for .NOT.
        ++p_;
        ops_.push_back({findRow(E4kind::unary, 18), OpKind::op, 0, vals_.size()});
        return 0;
    }
    if (c == '.') {
        for (const E4row* r = e4rows; r->kind != E4kind::end; ++r) {
            if ((r->kind == E4kind::logical || r->kind == E4kind::unary) && r->name &&
                at(r->name)) {
                p_ += static_cast<size_t>(r->nameLen);
                if (r->kind == E4kind::unary) {
                    ops_.push_back({r, OpKind::op, 0, vals_.size()});
                    return 0;
                }
                E4item item;
                item.row = r;
                item.len = 1;
                pushValue(item);
                done = true;
                return 0;
            }
        }
    }
    if (isDigit(c) || ((c == '+' || c == '-' || c == '.') && p_ + 1 < n_ &&
                       (isDigit(s_[p_ + 1]) ||
                        (c != '.' && s_[p_ + 1] == '.' && p_ + 2 < n_ && isDigit(s_[p_ + 2]))))) {
        int rc = readNumber();
        done = rc == 0;
        return rc;
    }
    if (isLetter(c)) {
        int rc = readName();
        if (rc < 0) return rc;
        done = rc == 0;
        return 0;
    }
    return e4unrecValue;
}

// Reads an operator and moves the operators it outranks to the output.  ended is set at the
// end of the text.  A closing bracket or a comma completes a bracket or an argument.
int Parser::readOperator(bool& ended) {
    ended = false;
    skipBlanks();
    if (p_ >= n_) {
        int m = popToMarker();
        if (m >= 0)
            return ops_[static_cast<size_t>(m)].kind == OpKind::paren ? e4rightMissing
                                                                      : e4commaExpected;
        ended = true;
        return 0;
    }
    char c = s_[p_];
    if (c == ')' || c == ',') {
        int m = popToMarker();
        if (m < 0) return e4unrecOperator;
        Op& op = ops_[static_cast<size_t>(m)];
        ++p_;
        if (op.kind == OpKind::paren) {
            if (c == ',') return e4rightMissing;
            ops_.pop_back();
            return 1;  // stays after a value
        }
        ++op.args;
        if (c == ',') return 0;  // next argument
        const E4row* fn = op.row;
        int args = op.args;
        ops_.pop_back();
        emit(fn, args);
        return 1;
    }
    const E4row* found = nullptr;
    size_t len = 0;
    // Operators of other programs first: "==" before "=", "!=" as "#".
    if (at("==")) {
        found = e4compatRows;
        len = 2;
    } else if (at("!=")) {
        found = findRow(E4kind::binary, 50);
        len = 2;
    }
    for (const E4row* r = e4rows; !found && r->kind != E4kind::end; ++r) {
        if (r->kind == E4kind::binary && r->name && at(r->name)) {
            found = r;
            len = static_cast<size_t>(r->nameLen);
        }
    }
    if (!found) {
        // Inside a function's argument list the value must be followed by "," or ")".
        for (auto op = ops_.rbegin(); op != ops_.rend(); ++op) {
            if (op->kind == OpKind::func) return e4commaExpected;
            if (op->kind == OpKind::paren) break;
        }
        return e4unrecOperator;
    }
    p_ += len;
    while (!ops_.empty() && ops_.back().kind == OpKind::op &&
           ops_.back().row->priority >= found->priority) {
        const E4row* row = ops_.back().row;
        ops_.pop_back();
        emit(row, row->kind == E4kind::unary ? 1 : 2);
    }
    ops_.push_back({found, OpKind::op, 0, vals_.size()});
    return 0;
}

int Parser::parse() {
    for (;;) {
        bool done = false;
        int rc = readValue(done);
        if (rc < 0) return rc;
        if (!done) continue;
        for (;;) {
            bool ended = false;
            rc = readOperator(ended);
            if (rc < 0) return rc;
            if (ended) return 0;
            if (rc == 0) break;  // an operator or a comma: a value follows
        }
    }
}

// Chooses a row for every operator and function item, assigns result lengths and buffer
// positions, and folds the constant arguments of the fixed-length functions.
int Parser::resolve() {
    std::vector<E4item>& fin = e_->items;
    std::vector<int> stack;  // indices into fin
    fin.clear();
    e_->parms.clear();
    for (E4item item : out_) {
        const E4row* row = item.row;
        if (row->kind == E4kind::field || row->kind == E4kind::constant ||
            row->kind == E4kind::logical) {
            stack.push_back(static_cast<int>(fin.size()));
            fin.push_back(item);
            continue;
        }
        int k = item.numParms;
        if (static_cast<int>(stack.size()) < k) return e4complete;
        std::vector<int> ops(stack.end() - k, stack.end());
        stack.resize(stack.size() - static_cast<size_t>(k));
        // The rows of this code from the one the parser matched (an operator's second name
        // carries its own overloads).
        const E4row* first = row;
        bool countFits = false;
        const E4row* chosen = nullptr;
        for (const E4row* r = first; r->kind != E4kind::end && r->code == row->code; ++r) {
            bool countOk = r->numParms == E4ANY ? k >= 2 : r->numParms == k;
            if (!countOk) continue;
            countFits = true;
            bool typesOk = true;
            for (int i = 0; i < k && typesOk; ++i) {
                char p = r->numParms == E4ANY ? r->parms[0] : r->parms[static_cast<size_t>(i)];
                typesOk =
                    fits(p, fin[static_cast<size_t>(ops[static_cast<size_t>(i)])].row->result);
            }
            if (typesOk) {
                chosen = r;
                break;
            }
        }
        if (!countFits) return e4numParms;
        if (!chosen) return e4typeSub;
        item.row = chosen;
        auto opLen = [&](int i) {
            return fin[static_cast<size_t>(ops[static_cast<size_t>(i)])].len;
        };
        auto opItem = [&](int i) -> E4item& {
            return fin[static_cast<size_t>(ops[static_cast<size_t>(i)])];
        };
        const int code = chosen->code;
        if (fixedLengthFunction(code)) {
            // Every argument after the first must be a constant; it is folded into the item.
            double num[3] = {0, 0, 0};
            char pad = ' ';
            for (int i = 1; i < k; ++i) {
                E4item& a = opItem(i);
                if (a.row->kind != E4kind::constant) return e4notConstant;
                if (a.row->result == 'n') {
                    std::memcpy(&num[i], e_->constants.data() + a.extra, sizeof(double));
                } else {
                    pad = a.len > 0 ? e_->constants[static_cast<size_t>(a.extra)] : ' ';
                }
            }
            for (int i = k - 1; i >= 1; --i) fin.pop_back();
            auto clampLen = [](double v) {
                if (!(v > 0)) return 0;
                return v > kMaxLen + 1.0 ? kMaxLen + 1 : static_cast<int>(v);
            };
            switch (code) {
                case 140:
                case 145:
                    item.len = k >= 2 ? clampLen(num[1]) : 10;
                    item.extra2 = k >= 3 ? std::min(clampLen(num[2]), 100) : 0;
                    break;
                case 150: {
                    int start = std::max(1, std::min(clampLen(num[1]), kMaxLen + 1));
                    item.extra = start;
                    item.len = k == 3 ? clampLen(num[2]) : std::max(0, opLen(0) - start + 1);
                    break;
                }
                default:
                    item.len = clampLen(num[1]);
                    item.extra2 = static_cast<unsigned char>(pad);
                    break;
            }
            item.numParms = 1;
            ops.resize(1);
        } else if (chosen->result == 'L') {
            item.len = 1;
        } else if (chosen->result != 'C') {
            item.len = 8;
        } else {
            switch (code) {
                case 25:
                case 30:
                    item.len = opLen(0) + opLen(1);
                    break;
                case 120:
                case 130:
                    item.len = 1;
                    break;
                case 160:
                case 180:
                    item.len = 8;
                    break;
                case 250:
                    if (opLen(1) != opLen(2)) return e4lengthErr;
                    item.len = opLen(1);
                    break;
                case 420:
                case 430:
                    item.len = e4v::keyLength(opItem(0).row->result, opLen(0));
                    break;
                default:
                    item.len = opLen(0);
                    break;  // UPPER, TRIM, LTRIM, ALLTRIM
            }
        }
        if (code == 200 || code == 270) {  // DTOC, CTOD: the date picture goes with the item
            const char* pic = src_->dateFormat();
            if (!pic || !*pic) pic = "MM/DD/YY";
            int plen = static_cast<int>(std::strlen(pic));
            int off = addConstant(pic, plen);
            if (off < 0) return e4overflow;
            item.extra = off;
            if (code == 200)
                item.len = plen;
            else
                item.extra2 = plen;
        }
        if (item.len > kMaxLen) return e4overflow;
        item.firstParm = static_cast<int>(e_->parms.size());
        for (int idx : ops) e_->parms.push_back(idx);
        stack.push_back(static_cast<int>(fin.size()));
        fin.push_back(item);
    }
    if (stack.size() != 1 || fin.empty()) return e4complete;
    // Buffer positions: a stack; every result goes where its first operand lies.
    int bufLen = 0;
    std::vector<int> endOf(fin.size());
    std::vector<int> live;
    for (size_t i = 0; i < fin.size(); ++i) {
        E4item& it = fin[i];
        int k = it.numParms;
        int pos;
        if (k == 0) {
            pos = live.empty() ? 0 : endOf[static_cast<size_t>(live.back())];
        } else {
            pos = fin[static_cast<size_t>(live[live.size() - static_cast<size_t>(k)])].pos;
            live.resize(live.size() - static_cast<size_t>(k));
        }
        it.pos = pos;
        endOf[i] = pos + ((std::max(it.len, 8) + 7) & ~7);
        bufLen = std::max(bufLen, endOf[i]);
        if (bufLen > 16 * kMaxLen) return e4overflow;
        live.push_back(static_cast<int>(i));
    }
    e_->bufLen = bufLen;
    e_->type = fin.back().row->result;
    e_->len = fin.back().len;
    return 0;
}

}  // namespace

Expr4* expr4parseSource(Expr4source* source, const char* text, bool forTag) {
    if (!source) return nullptr;
    if (source->errorPending()) return nullptr;
    if (!text) {
        source->error(e4parmNull, L4_expr4parse, nullptr);
        return nullptr;
    }
    Expr4* e = new Expr4;
    e->source = source;
    e->text = text;
    Parser parser(source, e->text.c_str(), forTag, e);
    int rc = parser.parse();
    if (rc == 0) rc = parser.resolve();
    if (rc < 0) {
        if (source->reportExprErrors()) source->error(rc, L4_expr4parse, e->text.c_str());
        delete e;
        return nullptr;
    }
    return e;
}

void expr4free(Expr4* e) {
    if (!e) return;
    delete e->owned;
    delete e;
}

char expr4type(const Expr4* e) {
    return e ? e->type : 0;
}
int expr4len(const Expr4* e) {
    return e ? e->len : -1;
}
int expr4keyLen(const Expr4* e) {
    return e ? e4v::keyLength(e->type, e->len) : -1;
}
bool expr4keyIsChar(const Expr4* e) {
    return e && e4v::charLike(e->type);
}
const char* expr4text(const Expr4* e) {
    return e ? e->text.c_str() : nullptr;
}
Expr4source* expr4sourceOf(const Expr4* e) {
    return e ? e->source : nullptr;
}
