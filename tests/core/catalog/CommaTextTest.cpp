#include "core/catalog/CommaText.h"

#include <gtest/gtest.h>

namespace {

struct SplitRow
{
    const char* Text;
    QStringList Items;
};

} // namespace

TEST(CommaText, Split)
{
    const SplitRow rows[] = {
        {"", {}},
        {"   ", {}},
        {"Europe", {"Europe"}},
        {"Europe,Belgium", {"Europe", "Belgium"}},
        {"Imported webcams", {"Imported", "webcams"}},
        {"\"Imported webcams\"", {"Imported webcams"}},
        {"\"New Category\"", {"New Category"}},
        {"  a , b  ", {"a", "b"}},
        {"a,", {"a", ""}},
        {",", {"", ""}},
        {"a, ", {"a"}},
        {"a,,b", {"a", "", "b"}},
        {"\"\"", {""}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"a,b\",c", {"a,b", "c"}},
        {"\"a\"b", {"a", "b"}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"a\tb\nc", {"a", "b", "c"}},
        {"caf\xe9 bar", {QString::fromLatin1("caf\xe9"), "bar"}},
    };
    for (const SplitRow& row : rows)
        EXPECT_EQ(SplitCommaText(QString::fromLatin1(row.Text)), row.Items) << row.Text;
}

TEST(CommaText, Join)
{
    const SplitRow rows[] = {
        {"", {}},
        {"Europe", {"Europe"}},
        {"Europe,Belgium", {"Europe", "Belgium"}},
        {"\"New Category\"", {"New Category"}},
        {"\"\"", {""}},
        {"a,", {"a", ""}},
        {",b", {"", "b"}},
        {"\"a,b\",c", {"a,b", "c"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"tab\there\"", {"tab\there"}},
    };
    for (const SplitRow& row : rows)
        EXPECT_EQ(JoinCommaText(row.Items), QString::fromLatin1(row.Text)) << row.Text;
}

TEST(CommaText, JoinThenSplitGivesTheItems)
{
    const QStringList lists[] = {
        {"a"},
        {""},
        {"", ""},
        {"a", "", "b"},
        {"x y", "z"},
        {"\"", "\"\""},
        {"a,b", ",", " "},
        {"end", ""},
        {"tab\t", "\nline"},
    };
    for (const QStringList& items : lists)
        EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items)
            << JoinCommaText(items).toStdString();
}
