#include <gtest/gtest.h>

#include "support/tools.h"

namespace {

const std::string kBackup = "Создание резервной копии";

TEST(WrapException, PrefixesContextAndMarksTheKind) {
  Exception caught("abc");
  auto wrapped = WrapException(caught, kBackup, true);
  EXPECT_EQ(wrapped->Message(), "Создание резервной копии -> abc <# Exception #>");
  EXPECT_STREQ(wrapped->ClassName(), "Exception");

  EXPECT_EQ(WrapException(caught, kBackup, false)->Message(), "Создание резервной копии -> abc");
}

TEST(WrapException, EmptyMessageKeepsTheSeparatorBlanks) {
  Exception caught("");
  EXPECT_EQ(WrapException(caught, kBackup, false)->Message(), "Создание резервной копии -> ");
  EXPECT_EQ(WrapException(caught, kBackup, true)->Message(),
            "Создание резервной копии ->  <# Exception #>");
}

TEST(WrapException, SecondWrapKeepsTheInnermostMark) {
  EOSError inner("disk full", 112);
  auto once = WrapException(inner, "Восстановление из резервной копии", true);
  auto twice = WrapException(*once, "Оптимизация", true);
  EXPECT_EQ(twice->Message(),
            "Оптимизация -> Восстановление из резервной копии -> disk full <# EOSError #>");
  // A mark anywhere in the text counts, not only at the end.
  Exception marked("x <# y");
  EXPECT_EQ(WrapException(marked, "c", true)->Message(), "c -> x <# y");
}

// Handlers further out test for the kind: it must survive wrapping and raising,
// while any data beyond the text keeps the kind's default.
TEST(WrapException, SpecificKindsSurviveAndRaiseAsThemselves) {
  EOSError os("denied", 5);
  auto wrapped = WrapException(os, kBackup, true);
  ASSERT_NE(dynamic_cast<EOSError*>(wrapped.get()), nullptr);
  EXPECT_EQ(static_cast<EOSError&>(*wrapped).ErrorCode(), 0u);
  EXPECT_THROW(wrapped->Raise(), EOSError);

  EIBInterBaseError db("Your user name and password are not defined", -902, 335544472);
  auto dbWrapped = WrapException(db, kBackup, true);
  EXPECT_EQ(dbWrapped->Message(),
            "Создание резервной копии -> Your user name and password are not defined "
            "<# EIBInterBaseError #>");
  try {
    dbWrapped->Raise();
    FAIL() << "Raise returned";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), 0);
    EXPECT_EQ(e.Message(), dbWrapped->Message());
  }

  for (const Exception* e : std::initializer_list<const Exception*>{
           new EConvertError("a"), new EProgressException("b"), new EIBClientError("c")}) {
    std::unique_ptr<const Exception> owner(e);
    auto w = WrapException(*e, "ctx", true);
    EXPECT_STREQ(w->ClassName(), e->ClassName());
    EXPECT_EQ(typeid(*w), typeid(*e));
    EXPECT_NE(w->Message().find(std::string("<# ") + e->ClassName() + " #>"), std::string::npos);
  }
}

}  // namespace
