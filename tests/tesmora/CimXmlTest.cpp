// The strict XML reader behind the CIM client: what it accepts, what it refuses and why. Entity
// bombs, external entities and deep nesting are run through the tool (tests/cim/tool_cases.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cim/Xml.h"

namespace {

namespace Xml = Tesmora::Cim::Xml;

std::string Repeat(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string Attributes(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += " A" + std::to_string(i) + "=\"v\"";
    }
    return text;
}

std::string Nested(std::size_t depth) {
    return Repeat("<V>", depth) + Repeat("</V>", depth);
}

TEST(CimXml, ReadsElementsAttributesAndText) {
    const Xml::Element root = Xml::Parse(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- a comment -->\n"
        "<CIM CIMVERSION='2.0' DTDVERSION=\"2.0\">"
        "<PROPERTY NAME=\"A&amp;B\" TYPE=\"string\"><VALUE>x &lt;&gt; &quot;&apos; &#65;&#x42;"
        "&#xE9;<![CDATA[<raw&>]]><?skip me?></VALUE></PROPERTY>"
        "<EMPTY ATTR=\"a\tb\nc\"/><PROPERTY NAME=\"second\"/></CIM>\n<!-- trailing -->\n");
    EXPECT_EQ(root.name, "CIM");
    ASSERT_NE(root.Attribute("CIMVERSION"), nullptr);
    EXPECT_EQ(*root.Attribute("CIMVERSION"), "2.0");
    EXPECT_EQ(root.Attribute("MISSING"), nullptr);
    ASSERT_EQ(root.children.size(), 3u);
    const Xml::Element* property = root.Child("PROPERTY");
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(*property->Attribute("NAME"), "A&B");  // the first of two PROPERTY children
    ASSERT_NE(property->Child("VALUE"), nullptr);
    EXPECT_EQ(property->Child("VALUE")->text, "x <> \"' AB\xC3\xA9<raw&>");
    EXPECT_EQ(*root.children[1].Attribute("ATTR"), "a b c");  // whitespace normalised
    EXPECT_TRUE(root.children[1].children.empty());
}

TEST(CimXml, RefusesWhatIsNotAPlainWellFormedDocument) {
    struct Case {
        const char* name;
        std::string document;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"empty", "", "no root element"},
        {"undeclared entity", "<CIM>&lol9;</CIM>", "undeclared entity &lol9;"},
        {"unterminated reference", "<CIM>&amp</CIM>", "unterminated reference"},
        {"reference to NUL", "<CIM>&#0;</CIM>", "reference to no character"},
        {"reference beyond Unicode", "<CIM>&#x110000;</CIM>", "reference to no character"},
        {"bad digits", "<CIM>&#12a;</CIM>", "malformed character reference"},
        {"crossed tags", "<CIM><A></CIM></A>", "</CIM> closes <A>"},
        {"cut short", "<CIM><A>text", "ends inside <A>"},
        {"two roots", "<CIM/><CIM/>", "content after the root element"},
        {"same attribute twice, apart", "<CIM A=\"1\" B=\"2\" C=\"3\" A=\"4\">x</CIM>",
         "attribute A twice"},
        {"more attributes than the limit", "<CIM" + Attributes(65) + "/>",
         "more than 64 attributes in <CIM>"},
        {"reference too long to be one", "<CIM>&#x00000000041;</CIM>", "unterminated reference"},
        {"'<' in a value", "<CIM A=\"<\"/>", "'<' in an attribute value"},
        {"unquoted value", "<CIM A=1/>", "quoted attribute value"},
        {"attributes run together", "<CIM A=\"1\"B=\"2\"/>", "expected whitespace"},
        {"unterminated comment", "<CIM><!-- never closed</CIM>", "unterminated comment"},
        {"no name", "<CIM>< A/></CIM>", "expected a name"},
    };
    for (const Case& c : cases) {
        try {
            Xml::Parse(c.document);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const Xml::ParseError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
                << c.name << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find("(at byte "), std::string::npos) << c.name;
        }
    }
}

TEST(CimXml, NestingAndSizeStopAtTheLimits) {
    const Xml::Limits limits;
    // The root counts as the first level.
    EXPECT_NO_THROW(Xml::Parse(Nested(limits.max_depth)));
    EXPECT_THROW(Xml::Parse(Nested(limits.max_depth + 1)), Xml::ParseError);
    EXPECT_NO_THROW(Xml::Parse("<CIM" + Attributes(limits.max_attributes) + "/>"));
    const Xml::Limits few{64, 10};
    EXPECT_NO_THROW(Xml::Parse("<CIM>" + Repeat("<V/>", 9) + "</CIM>", few));
    EXPECT_THROW(Xml::Parse("<CIM>" + Repeat("<V/>", 10) + "</CIM>", few), Xml::ParseError);
}

}  // namespace
