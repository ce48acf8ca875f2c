#pragma once
// The seven paragraph styles (index 0 "Normal" = "p", 1..6 "Heading n" =
// "hn") and the editor's left and right margins in pixels.
#include <array>
#include <string>

namespace tavix {

class PropertyNode;

class ParagraphStyle {
public:
    ParagraphStyle() = default;

    const std::u16string& name() const { return name_; }
    const std::u16string& tag() const { return tag_; }
    int index() const { return index_; }
    bool bold() const { return bold_; }
    bool italic() const { return italic_; }
    bool underline() const { return underline_; }
    int size() const { return size_; }                 // points
    const std::u16string& fontName() const { return fontName_; }
    int spaceBefore() const { return spaceBefore_; }   // twips
    int spaceAfter() const { return spaceAfter_; }     // twips
    int leftIndent() const { return leftIndent_; }     // twips
    int rightIndent() const { return rightIndent_; }   // twips
    int alignment() const { return alignment_; }       // 0 left, 1 centre, 2 right

    void setName(std::u16string v) { name_ = std::move(v); }
    void setTag(std::u16string v) { tag_ = std::move(v); }
    void setIndex(int v) { index_ = v; }
    void setFontName(std::u16string v) { fontName_ = std::move(v); }
    void setSize(int v) { size_ = v; }
    void setBold(bool v) { bold_ = v; }
    void setItalic(bool v) { italic_ = v; }
    void setSpaceBefore(int v) { spaceBefore_ = v; }
    void setSpaceAfter(int v) { spaceAfter_ = v; }
    void setLeftIndent(int v) { leftIndent_ = v; }
    void setRightIndent(int v) { rightIndent_ = v; }
    void setAlignment(int v) { alignment_ = v; }

    // On the style's own node ("Style<n>"): "Font.*" and "Paragraph.*".
    void storeTo(PropertyNode& node) const;
    void loadFrom(PropertyNode& node);

    bool operator==(const ParagraphStyle&) const = default;

private:
    std::u16string name_;
    std::u16string tag_;
    int index_ = 0;
    bool bold_ = false;
    bool italic_ = false;
    bool underline_ = false;
    int size_ = 12;
    std::u16string fontName_;
    int spaceBefore_ = 0;
    int spaceAfter_ = 0;
    int leftIndent_ = 0;
    int rightIndent_ = 0;
    int alignment_ = 0;
};

class StyleSheet {
public:
    StyleSheet();  // the default style sheet

    static constexpr int styleCount() { return 7; }
    // 1..6 give Heading 1..6; any other index gives Normal.
    const ParagraphStyle& style(int index) const;
    ParagraphStyle& style(int index);
    // "h1".."h6" (exact) give the headings; any other name gives Normal.
    const ParagraphStyle& styleForTag(std::u16string_view tag) const;

    int leftMargin() const { return leftMargin_; }
    int rightMargin() const { return rightMargin_; }
    void setLeftMargin(int v) { leftMargin_ = v; }
    void setRightMargin(int v) { rightMargin_ = v; }

    // On the "StyleMap" node.
    void storeTo(PropertyNode& styleMap) const;
    void loadFrom(PropertyNode& styleMap);

    bool operator==(const StyleSheet&) const = default;

private:
    std::array<ParagraphStyle, 7> styles_;
    int leftMargin_ = 10;
    int rightMargin_ = 10;
};

}  // namespace tavix
