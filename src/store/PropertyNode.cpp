#include "store/PropertyNode.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "store/FileSystem.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

std::u16string decimal(long long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// The number at the start of text, read like the C library's wide-string
// conversion in base 10. Overflow wraps to 32 bits: the arithmetic is done on
// an unsigned 32-bit value, where wrapping is defined, so a huge number in
// the file gives the same result on every build.
std::int32_t parseInt32(const std::u16string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - u'0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}

// Generous estimates of what the tree holds, for the allowance of reading:
// a node with its entry in the parent's map, and a value's map entry, each
// beside the characters of their strings.
constexpr std::size_t kNodeCost = 288;
constexpr std::size_t kValueCost = 128;

// A value must stay on its own line, or its tail would be read back as a
// line of its own and could overwrite another setting. Callers are not meant
// to store line breaks; should one slip through it becomes a blank.
std::string lineSafe(const std::u16string& text) {
    std::string bytes = toUtf8(text);
    for (char& c : bytes)
        if (c == '\n' || c == '\r')
            c = ' ';
    return bytes;
}

}  // namespace

PropertyNode::PropertyNode(std::u16string name, PropertyNode* parent, std::u16string filePath)
    : name_(std::move(name)), filePath_(std::move(filePath)), parent_(parent) {}

PropertyNode::PropertyNode(std::u16string name, PropertyNode* parent)
    : name_(std::move(name)), parent_(parent) {}

// A deep tree (built by hand through child()) would otherwise be destroyed
// by one nested destructor call per level: the children are detached and
// destroyed one at a time, each already without children of its own.
PropertyNode::~PropertyNode() {
    std::vector<std::unique_ptr<PropertyNode>> pending;
    for (auto& entry : children_)
        pending.push_back(std::move(entry.second));
    children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<PropertyNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& entry : node->children_)
            pending.push_back(std::move(entry.second));
        node->children_.clear();
    }
}

PropertyNode& PropertyNode::root() {
    PropertyNode* node = this;
    while (node->parent_)
        node = node->parent_;
    return *node;
}

std::size_t PropertyNode::depth() const {
    std::size_t levels = 0;
    for (const PropertyNode* node = parent_; node; node = node->parent_)
        ++levels;
    return levels;
}

PropertyNode& PropertyNode::child(const std::u16string& name) {
    auto& slot = children_[name];
    if (!slot)
        slot = std::make_unique<PropertyNode>(name, this);
    return *slot;
}

const PropertyNode* PropertyNode::findChild(const std::u16string& name) const {
    const auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
}

void PropertyNode::set(const std::u16string& dottedKey, const std::u16string& value) {
    setPath(dottedKey, value);
}

// Descends one loop turn per part, never one call per part: a key read from
// a file may have as many parts as the file has dots. The parts are counted
// before any node is made, so a key that is too deep leaves no trace.
void PropertyNode::setPath(std::u16string_view dottedKey, std::u16string_view value,
                           std::size_t* allowance) {
    std::size_t parts = 1;
    for (char16_t c : dottedKey)
        if (c == u'.' && ++parts > kMaxKeyParts)
            return;
    if (parts + depth() > kMaxKeyParts)
        return;
    if (allowance) {
        // What the line would add, counted before anything is made.
        std::size_t cost = 2 * value.size();
        const PropertyNode* existing = this;
        std::u16string_view rest = dottedKey;
        for (auto dot = rest.find(u'.'); dot != std::u16string_view::npos; dot = rest.find(u'.')) {
            if (existing)
                existing = existing->findChild(std::u16string(rest.substr(0, dot)));
            if (!existing)
                cost += kNodeCost + 4 * dot;
            rest.remove_prefix(dot + 1);
        }
        if (!existing || existing->values_.count(std::u16string(rest)) == 0)
            cost += kValueCost + 2 * rest.size();
        if (cost > *allowance)
            return;
        *allowance -= cost;
    }
    PropertyNode* node = this;
    for (auto dot = dottedKey.find(u'.'); dot != std::u16string_view::npos;
         dot = dottedKey.find(u'.')) {
        node = &node->child(std::u16string(dottedKey.substr(0, dot)));
        dottedKey.remove_prefix(dot + 1);
    }
    node->values_[std::u16string(dottedKey)] = std::u16string(value);
}

void PropertyNode::setInt(const std::u16string& dottedKey, int value) { set(dottedKey, decimal(value)); }

void PropertyNode::setBool(const std::u16string& dottedKey, bool value) {
    set(dottedKey, value ? u"1" : u"0");
}

std::u16string PropertyNode::getString(const std::u16string& key, const std::u16string& def) const {
    const auto it = values_.find(key);
    return it == values_.end() ? def : it->second;
}

int PropertyNode::getInt(const std::u16string& key, int def) const {
    const auto it = values_.find(key);
    return it == values_.end() ? def : parseInt32(it->second);
}

long PropertyNode::getLong(const std::u16string& key, long def) const {
    const auto it = values_.find(key);
    return it == values_.end() ? def : static_cast<long>(parseInt32(it->second));
}

bool PropertyNode::getBool(const std::u16string& key, bool def) const {
    const auto it = values_.find(key);
    return it == values_.end() ? def : parseInt32(it->second) != 0;
}

void PropertyNode::clearValues() { values_.clear(); }

Status PropertyNode::save() {
    PropertyNode& top = root();
    if (!top.saveRefusal_.empty())
        return Status::failure(top.saveRefusal_);
    if (top.filePath_.empty())
        return Status::success();
    std::ostringstream text;
    top.writeTo(text, u"");
    return writeFileAtomically(toUtf8(top.filePath_), text.str());
}

void PropertyNode::refuseSaves(std::string reason) {
    saveRefusal_ = reason.empty() ? std::string("Saving the settings is not allowed")
                                  : std::move(reason);
}

namespace {
// Editors on other systems start UTF-8 files with a byte-order mark; it is
// no part of the first key.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
}  // namespace

void PropertyNode::load(std::istream& in) {
    std::size_t allowance = kReadAllowanceFloor;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        std::string_view view = line;
        if (first && view.substr(0, kUtf8Bom.size()) == kUtf8Bom) view.remove_prefix(kUtf8Bom.size());
        first = false;
        loadLine(view, allowance);
    }
}

void PropertyNode::loadText(std::string_view text) {
    std::size_t allowance = kReadAllowanceFloor;
    if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    while (!text.empty()) {
        const auto end = text.find('\n');
        loadLine(text.substr(0, end), allowance);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

void PropertyNode::loadLine(std::string_view line, std::size_t& allowance) {
    allowance += kReadAllowancePerByte * (line.size() + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    // Files written by older builds hold one byte per character.
    parseLineWithin(isValidUtf8(line) ? fromUtf8(line) : fromLatin1(line), &allowance);
}

// Depth first, in order, with a stack of its own rather than a call per
// level, and one path string grown and cut back as it goes.
void PropertyNode::writeTo(std::ostream& out, const std::u16string& prefix) const {
    struct Level {
        const PropertyNode* node;
        std::map<std::u16string, std::unique_ptr<PropertyNode>>::const_iterator next;
        std::size_t pathLength;  // of the path before this node's name
    };
    std::string path = lineSafe(prefix);
    std::vector<Level> stack;
    auto enter = [&](const PropertyNode& node) {
        const std::size_t before = path.size();
        path += lineSafe(node.name_);
        path += '.';
        for (const auto& [key, value] : node.values_)
            out << path << lineSafe(key) << '=' << lineSafe(value) << '\n';
        stack.push_back({&node, node.children_.begin(), before});
    };
    enter(*this);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.node->children_.end()) {
            path.resize(level.pathLength);
            stack.pop_back();
            continue;
        }
        const PropertyNode& next = *level.next->second;
        ++level.next;
        enter(next);
    }
}

void PropertyNode::parseLine(const std::u16string& line) { parseLineWithin(line, nullptr); }

void PropertyNode::parseLineWithin(std::u16string_view text, std::size_t* allowance) {
    const auto dot = text.find(u'.');
    if (dot == std::u16string_view::npos)
        return;
    if (text.substr(0, dot) != name_)
        return;
    const std::u16string_view rest = text.substr(dot + 1);
    const auto equals = rest.find(u'=');
    if (equals == std::u16string_view::npos)
        return;
    setPath(rest.substr(0, equals), rest.substr(equals + 1), allowance);
}

}  // namespace tavix
