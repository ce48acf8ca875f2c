#include "store/PropertyNode.h"

#include <cstdint>
#include <sstream>
#include <string>

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

PropertyNode::~PropertyNode() = default;

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
    const auto dot = dottedKey.find(u'.');
    if (dot == std::u16string::npos) {
        values_[dottedKey] = value;
        return;
    }
    child(dottedKey.substr(0, dot)).set(dottedKey.substr(dot + 1), value);
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
    if (parent_)
        return parent_->save();
    if (filePath_.empty())
        return Status::success();
    std::ostringstream text;
    writeTo(text, u"");
    return writeFileAtomically(toUtf8(filePath_), text.str());
}

void PropertyNode::load(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // Files written by older builds hold one byte per character.
        parseLine(isValidUtf8(line) ? fromUtf8(line) : fromLatin1(line));
    }
}

void PropertyNode::writeTo(std::ostream& out, const std::u16string& prefix) const {
    const std::string path = lineSafe(prefix + name_) + ".";
    for (const auto& [key, value] : values_)
        out << path << lineSafe(key) << '=' << lineSafe(value) << '\n';
    const std::u16string childPrefix = prefix + name_ + u".";
    for (const auto& entry : children_)
        entry.second->writeTo(out, childPrefix);
}

void PropertyNode::parseLine(const std::u16string& line) {
    const auto dot = line.find(u'.');
    if (dot == std::u16string::npos)
        return;
    if (line.compare(0, dot, name_) != 0)
        return;
    const std::u16string rest = line.substr(dot + 1);
    const auto equals = rest.find(u'=');
    if (equals == std::u16string::npos)
        return;
    set(rest.substr(0, equals), rest.substr(equals + 1));
}

}  // namespace tavix
