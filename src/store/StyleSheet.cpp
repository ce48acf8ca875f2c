#include "store/StyleSheet.h"

#include "store/PropertyNode.h"

namespace tavix {

void ParagraphStyle::storeTo(PropertyNode& node) const {
    node.set(u"Font.Name", fontName_);
    node.setInt(u"Font.Size", size_);
    node.setBool(u"Font.Bold", bold_);
    node.setBool(u"Font.Italic", italic_);
    node.setBool(u"Font.Underline", underline_);
    node.setInt(u"Paragraph.LeftIndent", leftIndent_);
    node.setInt(u"Paragraph.RightIndent", rightIndent_);
    node.setInt(u"Paragraph.SpaceBefore", spaceBefore_);
    node.setInt(u"Paragraph.SpaceAfter", spaceAfter_);
    node.setInt(u"Paragraph.Alignment", alignment_);
}

void ParagraphStyle::loadFrom(PropertyNode& node) {
    // Every read falls back on the current value, so whatever the file lacks
    // keeps its default. Values are taken as they are, without range checks.
    PropertyNode& font = node.child(u"Font");
    fontName_ = font.getString(u"Name", fontName_);
    size_ = font.getInt(u"Size", size_);
    bold_ = font.getBool(u"Bold", bold_);
    italic_ = font.getBool(u"Italic", italic_);
    underline_ = font.getBool(u"Underline", underline_);
    PropertyNode& paragraph = node.child(u"Paragraph");
    leftIndent_ = paragraph.getInt(u"LeftIndent", leftIndent_);
    rightIndent_ = paragraph.getInt(u"RightIndent", rightIndent_);
    spaceBefore_ = paragraph.getInt(u"SpaceBefore", spaceBefore_);
    spaceAfter_ = paragraph.getInt(u"SpaceAfter", spaceAfter_);
    alignment_ = paragraph.getInt(u"Alignment", alignment_);
}

StyleSheet::StyleSheet() {
    struct Default {
        const char16_t* name;
        const char16_t* tag;
        const char16_t* font;
        int size;
        bool bold;
    };
    static constexpr Default kDefaults[7] = {
        {u"Normal", u"p", u"Times New Roman", 12, false},
        {u"Heading 1", u"h1", u"Arial", 22, false},
        {u"Heading 2", u"h2", u"Arial", 20, false},
        {u"Heading 3", u"h3", u"Arial", 18, false},
        {u"Heading 4", u"h4", u"Arial", 16, false},
        {u"Heading 5", u"h5", u"Arial", 14, true},
        {u"Heading 6", u"h6", u"Arial", 12, true},
    };
    for (int i = 0; i < styleCount(); ++i) {
        ParagraphStyle& s = styles_[i];
        s.setIndex(i);
        s.setName(kDefaults[i].name);
        s.setTag(kDefaults[i].tag);
        s.setFontName(kDefaults[i].font);
        s.setSize(kDefaults[i].size);
        s.setBold(kDefaults[i].bold);
        s.setSpaceAfter(60);  // 3 points
    }
}

const ParagraphStyle& StyleSheet::style(int index) const {
    return styles_[index >= 1 && index < styleCount() ? index : 0];
}

ParagraphStyle& StyleSheet::style(int index) {
    return styles_[index >= 1 && index < styleCount() ? index : 0];
}

const ParagraphStyle& StyleSheet::styleForTag(std::u16string_view tag) const {
    if (tag.size() == 2 && tag[0] == u'h' && tag[1] >= u'1' && tag[1] <= u'6')
        return styles_[tag[1] - u'0'];
    return styles_[0];
}

void StyleSheet::storeTo(PropertyNode& styleMap) const {
    styleMap.setInt(u"LeftMargin", leftMargin_);
    styleMap.setInt(u"RightMargin", rightMargin_);
    for (int i = 0; i < styleCount(); ++i)
        styles_[i].storeTo(styleMap.child(u"Style" + std::u16string(1, char16_t(u'0' + i))));
}

void StyleSheet::loadFrom(PropertyNode& styleMap) {
    leftMargin_ = styleMap.getInt(u"LeftMargin", leftMargin_);
    rightMargin_ = styleMap.getInt(u"RightMargin", rightMargin_);
    for (int i = 0; i < styleCount(); ++i)
        styles_[i].loadFrom(styleMap.child(u"Style" + std::u16string(1, char16_t(u'0' + i))));
}

}  // namespace tavix
