#pragma once
// The settings tree and its file "tavix.props": one line per value, each line
// the dotted path from the root to the value, "=", then the value.
//
// Written as UTF-8 with line feeds. A line that is valid UTF-8 is read as
// UTF-8, any other line as ISO 8859-1, so one-byte files read the same; a
// carriage return before the line feed is ignored.
//
// Depth is bounded: a value's path below the root (node names and key) has
// at most kMaxKeyParts parts. A line whose key has more is skipped and set()
// with a key that would reach deeper does nothing, so a damaged or hostile
// file ("app.a.a.a.…=x" over 200 KB) cannot build a tree deeper than that.
// Trees built deeper by hand through child() are still written, saved and
// destroyed without recursion, but their deepest lines are skipped when the
// file is read again.
//
// Memory is bounded too: while a file is read, what it adds to the tree
// (estimated generously per node, value and character) stays under
// kReadAllowancePerByte bytes per byte read, plus kReadAllowanceFloor; lines
// beyond that are skipped. Only files of many tiny or deep distinct keys come
// near it: a settings file as Tavix writes it takes a small part of it.
#include <cstddef>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "store/Status.h"

namespace tavix {

class PropertyNode {
public:
    // The most parts a value's path below the root may have.
    static constexpr std::size_t kMaxKeyParts = 64;
    static constexpr std::size_t kReadAllowancePerByte = 8;
    static constexpr std::size_t kReadAllowanceFloor = 64 * 1024;

    // Root node: knows the file it is saved to (UTF-16 path; may be empty).
    PropertyNode(std::u16string name, PropertyNode* parent, std::u16string filePath);
    // Child node: no file of its own.
    PropertyNode(std::u16string name, PropertyNode* parent);
    ~PropertyNode();
    PropertyNode(const PropertyNode&) = delete;
    PropertyNode& operator=(const PropertyNode&) = delete;

    const std::u16string& name() const { return name_; }
    const std::u16string& filePath() const { return filePath_; }
    PropertyNode* parent() const { return parent_; }

    // The child of that name (no dots), created empty when missing.
    PropertyNode& child(const std::u16string& name);
    // The child of that name, or null; never creates.
    const PropertyNode* findChild(const std::u16string& name) const;

    // A "." in key descends (creating nodes); the last segment is the key.
    // Nothing is stored when the path from the root would have more than
    // kMaxKeyParts parts.
    void set(const std::u16string& dottedKey, const std::u16string& value);
    void setInt(const std::u16string& dottedKey, int value);
    void setBool(const std::u16string& dottedKey, bool value);

    // Plain keys of this node only; no dots are interpreted.
    std::u16string getString(const std::u16string& key, const std::u16string& def) const;
    // wcstol-like: leading blanks and one sign accepted, stops at the first
    // non-digit, no digits give 0; wraps silently on overflow like a 32-bit long.
    int getInt(const std::u16string& key, int def) const;
    long getLong(const std::u16string& key, long def) const;
    bool getBool(const std::u16string& key, bool def) const;

    void clearValues();
    const std::map<std::u16string, std::u16string>& values() const { return values_; }
    const std::map<std::u16string, std::unique_ptr<PropertyNode>>& children() const { return children_; }

    // Saves the whole tree from the root to the root's file, atomically.
    // Success when the root has no file path (nothing to write); failure,
    // with the reason given, when the root refuses saves.
    Status save();
    // From now on every save of this tree fails with reason and leaves the
    // file alone (set on the root: for a file that exists but could not be
    // read, whose content a save would lose).
    void refuseSaves(std::string reason);
    // Reads lines into this node (the root) until the stream ends.
    void load(std::istream& in);
    // The same from the whole text of a file, without copying it.
    void loadText(std::string_view text);
    // Writes this node's lines (values in key order, then children in name
    // order, depth first) as UTF-8 with line feeds.
    void writeTo(std::ostream& out, const std::u16string& prefix) const;
    // One line, without its line end.
    void parseLine(const std::u16string& line);

private:
    PropertyNode& root();
    std::size_t depth() const;
    // allowance: when reading a file, what the tree may still grow by.
    void setPath(std::u16string_view dottedKey, std::u16string_view value,
                 std::size_t* allowance = nullptr);
    void loadLine(std::string_view line, std::size_t& allowance);
    void parseLineWithin(std::u16string_view line, std::size_t* allowance);

    std::map<std::u16string, std::u16string> values_;
    std::map<std::u16string, std::unique_ptr<PropertyNode>> children_;
    std::u16string name_;
    std::u16string filePath_;
    PropertyNode* parent_;
    std::string saveRefusal_;  // root only; empty when saves may go ahead
};

}  // namespace tavix
