#include "formats/XhtmlEntities.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tavix {

namespace {

struct Entity {
    std::u16string_view name;
    char16_t code;
};

// U+00A0 to U+00FF, in code order.
constexpr std::array<std::u16string_view, 96> kLatin1 = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",
    u"uml",    u"copy",   u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",
    u"deg",    u"plusmn", u"sup2",   u"sup3",   u"acute",  u"micro",  u"para",   u"middot",
    u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12", u"frac34", u"iquest",
    u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",
    u"ETH",    u"Ntilde", u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",
    u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",  u"Uuml",   u"Yacute", u"THORN",  u"szlig",
    u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",  u"aelig",  u"ccedil",
    u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide",
    u"oslash", u"ugrave", u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};

// The special and symbol sets.
constexpr Entity kOthers[] = {
    {u"OElig", 338},    {u"oelig", 339},    {u"Scaron", 352},   {u"scaron", 353},  {u"Yuml", 376},
    {u"fnof", 402},     {u"circ", 710},     {u"tilde", 732},
    {u"Alpha", 913},    {u"Beta", 914},     {u"Gamma", 915},    {u"Delta", 916},   {u"Epsilon", 917},
    {u"Zeta", 918},     {u"Eta", 919},      {u"Theta", 920},    {u"Iota", 921},    {u"Kappa", 922},
    {u"Lambda", 923},   {u"Mu", 924},       {u"Nu", 925},       {u"Xi", 926},      {u"Omicron", 927},
    {u"Pi", 928},       {u"Rho", 929},      {u"Sigma", 931},    {u"Tau", 932},     {u"Upsilon", 933},
    {u"Phi", 934},      {u"Chi", 935},      {u"Psi", 936},      {u"Omega", 937},
    {u"alpha", 945},    {u"beta", 946},     {u"gamma", 947},    {u"delta", 948},   {u"epsilon", 949},
    {u"zeta", 950},     {u"eta", 951},      {u"theta", 952},    {u"iota", 953},    {u"kappa", 954},
    {u"lambda", 955},   {u"mu", 956},       {u"nu", 957},       {u"xi", 958},      {u"omicron", 959},
    {u"pi", 960},       {u"rho", 961},      {u"sigmaf", 962},   {u"sigma", 963},   {u"tau", 964},
    {u"upsilon", 965},  {u"phi", 966},      {u"chi", 967},      {u"psi", 968},     {u"omega", 969},
    {u"thetasym", 977}, {u"upsih", 978},    {u"piv", 982},
    {u"ensp", 8194},    {u"emsp", 8195},    {u"thinsp", 8201},  {u"zwnj", 8204},   {u"zwj", 8205},
    {u"lrm", 8206},     {u"rlm", 8207},     {u"ndash", 8211},   {u"mdash", 8212},  {u"lsquo", 8216},
    {u"rsquo", 8217},   {u"sbquo", 8218},   {u"ldquo", 8220},   {u"rdquo", 8221},  {u"bdquo", 8222},
    {u"dagger", 8224},  {u"Dagger", 8225},  {u"bull", 8226},    {u"hellip", 8230}, {u"permil", 8240},
    {u"prime", 8242},   {u"Prime", 8243},   {u"lsaquo", 8249},  {u"rsaquo", 8250}, {u"oline", 8254},
    {u"frasl", 8260},   {u"euro", 8364},    {u"image", 8465},   {u"weierp", 8472}, {u"real", 8476},
    {u"trade", 8482},   {u"alefsym", 8501}, {u"larr", 8592},    {u"uarr", 8593},   {u"rarr", 8594},
    {u"darr", 8595},    {u"harr", 8596},    {u"crarr", 8629},   {u"lArr", 8656},   {u"uArr", 8657},
    {u"rArr", 8658},    {u"dArr", 8659},    {u"hArr", 8660},    {u"forall", 8704}, {u"part", 8706},
    {u"exist", 8707},   {u"empty", 8709},   {u"nabla", 8711},   {u"isin", 8712},   {u"notin", 8713},
    {u"ni", 8715},      {u"prod", 8719},    {u"sum", 8721},     {u"minus", 8722},  {u"lowast", 8727},
    {u"radic", 8730},   {u"prop", 8733},    {u"infin", 8734},   {u"ang", 8736},    {u"and", 8743},
    {u"or", 8744},      {u"cap", 8745},     {u"cup", 8746},     {u"int", 8747},    {u"there4", 8756},
    {u"sim", 8764},     {u"cong", 8773},    {u"asymp", 8776},   {u"ne", 8800},     {u"equiv", 8801},
    {u"le", 8804},      {u"ge", 8805},      {u"sub", 8834},     {u"sup", 8835},    {u"nsub", 8836},
    {u"sube", 8838},    {u"supe", 8839},    {u"oplus", 8853},   {u"otimes", 8855}, {u"perp", 8869},
    {u"sdot", 8901},    {u"lceil", 8968},   {u"rceil", 8969},   {u"lfloor", 8970}, {u"rfloor", 8971},
    {u"lang", 9001},    {u"rang", 9002},    {u"loz", 9674},     {u"spades", 9824}, {u"clubs", 9827},
    {u"hearts", 9829},  {u"diams", 9830},
};

// Every entry keeps its character here so that lookups can hand out a view.
struct Table {
    std::vector<Entity> sorted;
    std::array<char16_t, 96 + std::size(kOthers)> chars{};

    Table() {
        sorted.reserve(chars.size());
        for (std::size_t i = 0; i < kLatin1.size(); ++i) sorted.push_back({kLatin1[i], char16_t(0xA0 + i)});
        for (const Entity& e : kOthers) sorted.push_back(e);
        std::sort(sorted.begin(), sorted.end(), [](const Entity& a, const Entity& b) { return a.name < b.name; });
        for (std::size_t i = 0; i < sorted.size(); ++i) chars[i] = sorted[i].code;
    }
};

const Table& table() {
    static const Table t;
    return t;
}

bool endsWith(std::u16string_view s, std::u16string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

}  // namespace

std::size_t xhtmlEntityCount() { return table().sorted.size(); }
std::u16string_view xhtmlEntityName(std::size_t index) { return table().sorted.at(index).name; }
char16_t xhtmlEntityCharacter(std::size_t index) { return table().sorted.at(index).code; }

const std::string& xhtmlEntityDeclarations() {
    static const std::string dtd = [] {
        std::string text;
        for (const Entity& e : table().sorted) {
            text += "<!ENTITY ";
            for (char16_t c : e.name) text += static_cast<char>(c);  // names are ASCII
            text += " \"&#" + std::to_string(static_cast<unsigned>(e.code)) + ";\">\n";
        }
        return text;
    }();
    return dtd;
}

bool isXhtmlDtd(std::u16string_view publicId, std::u16string_view systemId) {
    if (publicId.starts_with(u"-//W3C//DTD XHTML ")) return true;
    for (std::u16string_view file : {u"/xhtml1-strict.dtd", u"/xhtml1-transitional.dtd", u"/xhtml1-frameset.dtd",
                                     u"/xhtml11.dtd"})
        if (endsWith(systemId, file)) return true;
    return false;
}

std::u16string_view xhtmlEntity(std::u16string_view name) {
    const Table& t = table();
    auto it = std::lower_bound(t.sorted.begin(), t.sorted.end(), name,
                               [](const Entity& e, std::u16string_view n) { return e.name < n; });
    if (it == t.sorted.end() || it->name != name) return {};
    return std::u16string_view(&t.chars[static_cast<std::size_t>(it - t.sorted.begin())], 1);
}

}  // namespace tavix
