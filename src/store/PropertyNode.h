#pragma once
// The settings tree and its file "tavix.props": one line per value, each line
// the dotted path from the root to the value, "=", then the value.
//
// Written as UTF-8 with line feeds. A line that is valid UTF-8 is read as
// UTF-8, any other line as ISO 8859-1, so one-byte files read the same; a
// carriage return before the line feed is ignored.
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "store/Status.h"

namespace tavix {

class PropertyNode {
public:
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
    // Success when the root has no file path (nothing to write).
    Status save();
    // Reads lines into this node (the root) until the stream ends.
    void load(std::istream& in);
    // Writes this node's lines (values in key order, then children in name
    // order, depth first) as UTF-8 with line feeds.
    void writeTo(std::ostream& out, const std::u16string& prefix) const;
    // One line, without its line end.
    void parseLine(const std::u16string& line);

private:
    std::map<std::u16string, std::u16string> values_;
    std::map<std::u16string, std::unique_ptr<PropertyNode>> children_;
    std::u16string name_;
    std::u16string filePath_;
    PropertyNode* parent_;
};

}  // namespace tavix
