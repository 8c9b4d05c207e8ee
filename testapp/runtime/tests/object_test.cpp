// Objects: creation and destruction order, nested classes by name, references
// and lists with their runtime errors.
#include <gtest/gtest.h>

#include "fixture.h"

namespace rt {
namespace {

using testing::RuntimeFixture;
using Lines = std::vector<std::string>;

// Controls and a window that note their events in the window's journal.
struct Journal {
  Lines lines;
};

template <class Base>
struct Noting : Base {
  Journal* journal() const;
  Outcome on_create() override {
    if (auto* j = journal()) j->lines.push_back("create " + this->path());
    return Outcome::Completed;
  }
  Outcome on_destroy() override {
    if (auto* j = journal()) j->lines.push_back("destroy " + this->path());
    return Outcome::Completed;
  }
};

struct Win : Window {
  Journal* journal = nullptr;
  Ref<CommandButton> cb_a;
  Ref<SingleLineEdit> sle_b;
  Ref<StaticText> st_c;
  bool fail_in_create = false;

  Win() {
    define_nested<Noting<CommandButton>>("cb_a");
    define_nested<Noting<SingleLineEdit>>("sle_b");
    define_nested<Noting<StaticText>>("st_c");
  }
  Outcome on_create() override {
    journal->lines.push_back("create " + path());
    auto& rt = runtime();
    cb_a = rt.create_nested<CommandButton>(*this, "cb_a");
    if (!cb_a) return Outcome::Failed;
    sle_b = rt.create_nested<SingleLineEdit>(*this, "sle_b");
    if (!sle_b) return Outcome::Failed;
    if (fail_in_create) rt.raise(ErrorCode::NullObjectReference, "drill");
    st_c = rt.create_nested<StaticText>(*this, "st_c");
    if (!st_c) return Outcome::Failed;
    control.assign({cb_a, sle_b, st_c});
    return Outcome::Completed;
  }
  Outcome on_destroy() override {
    journal->lines.push_back("destroy " + path());
    auto& rt = runtime();
    rt.destroy(cb_a);
    rt.destroy(sle_b);  // st_c is left to the runtime
    return Outcome::Completed;
  }
};

template <class Base>
Journal* Noting<Base>::journal() const {
  auto w = std::dynamic_pointer_cast<Win>(this->owner());
  return w ? w->journal : nullptr;
}

struct Objects : RuntimeFixture {
  Objects() {
    rt.define_class("win", [this] {
      auto w = std::make_shared<Win>();
      w->journal = &journal;
      w->fail_in_create = fail_in_create;
      return w;
    });
  }
  Journal journal;
  bool fail_in_create = false;
};

TEST_F(Objects, NestedClassesAreCreatedByNameInOrderEachRunningItsCreate) {
  Ref<Win> w = rt.create<Win>("win");
  ASSERT_TRUE(w.valid());
  EXPECT_EQ(journal.lines,
            (Lines{"create win", "create win.cb_a", "create win.sle_b", "create win.st_c"}));
  ASSERT_EQ(w->control.size(), 3u);
  EXPECT_EQ(w->control.items()[0].lock()->class_name(), "cb_a");
  EXPECT_EQ(w->control.items()[2].lock()->system_class(), SystemClass::StaticText);
  EXPECT_EQ(w->cb_a->owner().get(), w.lock().get());
}

TEST_F(Objects, DestroyRunsDestroyThenFreesWhatTheObjectStillOwns) {
  Ref<Win> w = rt.create<Win>("win");
  Ref<StaticText> st = w->st_c;
  Ref<Win> other = w;
  journal.lines.clear();
  lifecycle.clear();
  EXPECT_EQ(rt.destroy(w), Outcome::Completed);
  EXPECT_EQ(journal.lines,
            (Lines{"destroy win", "destroy win.cb_a", "destroy win.sle_b", "destroy win.st_c"}));
  EXPECT_EQ(lifecycle, (Lines{"-win.cb_a", "-win.sle_b", "-win.st_c", "-win"}));
  EXPECT_FALSE(w.valid());
  EXPECT_FALSE(other.valid());
  EXPECT_FALSE(st.valid());
  // Destroying what is no longer valid does nothing.
  EXPECT_EQ(rt.destroy(other), Outcome::Completed);
  EXPECT_EQ(lifecycle.size(), 4u);
}

TEST_F(Objects, SystemClassesAreCreatedByTheirNames) {
  for (auto [name, sc] : {std::pair{"message", SystemClass::Message},
                          std::pair{"transaction", SystemClass::Transaction},
                          std::pair{"dynamicdescriptionarea", SystemClass::DynamicDescriptionArea},
                          std::pair{"dynamicstagingarea", SystemClass::DynamicStagingArea},
                          std::pair{"error", SystemClass::Error}}) {
    Ref<Object> o = rt.create<Object>(name);
    ASSERT_TRUE(o.valid()) << name;
    EXPECT_EQ(o->system_class(), sc);
    EXPECT_EQ(system_class_name(sc), name);
  }
  EXPECT_FALSE(rt.create<Object>("no_such_class").valid());
  // A class of another kind than asked for is no creation.
  EXPECT_FALSE(rt.create<Window>("message").valid());
}

TEST_F(Objects, AFailedCreationStopsItsOwnerAndDiscardsWhatWasBuilt) {
  rt.set_creation_filter([](std::string_view path) { return path == "win.sle_b"; });
  Ref<Win> w = rt.create<Win>("win");
  EXPECT_FALSE(w.valid());
  EXPECT_EQ(journal.lines,
            (Lines{"create win", "create win.cb_a", "destroy win", "destroy win.cb_a"}));
  EXPECT_EQ(lifecycle, (Lines{"+win", "+win.cb_a", "-win.cb_a", "-win"}));
  EXPECT_TRUE(ui.boxes().empty());  // a failed creation is no runtime error
}

TEST_F(Objects, ARuntimeErrorInCreateIsShownNamingErrorObjectAndEvent) {
  fail_in_create = true;
  EXPECT_FALSE(rt.create<Win>("win").valid());
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].title, "Runtime error");
  EXPECT_EQ(ui.boxes()[0].text,
            "Error 20502: Null object reference\ndrill\nObject: win\nEvent: create");
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].object, "win");
  EXPECT_EQ(rt.error_log()[0].event, "create");
  // Nothing of the window is left.
  EXPECT_EQ(lifecycle.back(), "-win");
}

// ---- lists ----

struct Lists : RuntimeFixture {
  // Runs `body` as an event of a menu and tells whether it completed.
  Outcome run(const std::function<void(Menu&)>& body) {
    return rt.run_event(*menu.lock(), "clicked", [&] {
      body(*menu.lock());
      return Outcome::Completed;
    });
  }
  Ref<Menu> menu = rt.create<Menu>("menu");
  Ref<Menu> item = rt.create<Menu>("menu");
};

TEST_F(Lists, AppendGoesAtUpperBoundPlusOne) {
  Long before = -1, after = -1;
  EXPECT_EQ(run([&](Menu& m) {
              before = rt.list_upper_bound(m.item);
              rt.list_append(m.item, item);
              rt.list_append(m.item, item);
              after = rt.list_upper_bound(m.item);
            }),
            Outcome::Completed);
  EXPECT_EQ(before, 0);
  EXPECT_EQ(after, 2);
  EXPECT_TRUE(menu->item.items()[1] == item);
}

TEST_F(Lists, WritingFarOutGrowsTheListWithNullReferences) {
  run([&](Menu& m) { rt.list_set(m.item, 3, item); });
  ASSERT_EQ(menu->item.size(), 3u);
  EXPECT_FALSE(menu->item.items()[0].valid());
  EXPECT_TRUE(menu->item.items()[2].valid());
}

TEST_F(Lists, NullListRaises20508AndEndsTheBody) {
  menu->item.set_null();
  bool after = false;
  EXPECT_EQ(run([&](Menu& m) {
              rt.list_append(m.item, item);
              after = true;
            }),
            Outcome::Failed);
  EXPECT_FALSE(after);
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].code, ErrorCode::NullList);
  EXPECT_EQ(ui.boxes().size(), 1u);
  EXPECT_NE(ui.boxes()[0].text.find("Error 20508: Null list"), std::string::npos);
}

TEST_F(Lists, PositionBelowOneRaises20503AndEndsTheBody) {
  bool after = false;
  EXPECT_EQ(run([&](Menu& m) {
              rt.list_set(m.item, 0, item);
              after = true;
            }),
            Outcome::Failed);
  EXPECT_FALSE(after);
  EXPECT_EQ(rt.error_log().at(0).code, ErrorCode::ListPositionBelowOne);
  EXPECT_EQ(menu->item.size(), 0u);
}

TEST_F(Lists, WhenTheRuntimeLetsExecutionContinueTheWriteIsSkipped) {
  rt.set_error_answer([](ErrorCode) { return ErrorAnswer::Continue; });
  menu->item.set_null();
  bool after = false;
  EXPECT_EQ(run([&](Menu& m) {
              rt.list_append(m.item, item);
              after = true;
            }),
            Outcome::Completed);
  EXPECT_TRUE(after);
  EXPECT_TRUE(menu->item.is_null());
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].answer, ErrorAnswer::Continue);
  EXPECT_TRUE(ui.boxes().empty());  // nothing ended, nothing to show
}

// ---- references ----

TEST_F(Lists, UsingANullReferenceRaises20502) {
  Ref<Menu> none;
  bool after = false;
  EXPECT_EQ(run([&](Menu&) {
              none->set_text("x");
              after = true;
            }),
            Outcome::Failed);
  EXPECT_FALSE(after);
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].code, ErrorCode::NullObjectReference);
  EXPECT_EQ(rt.error_log()[0].event, "clicked");
}

TEST_F(Lists, RequireAsksTheRuntimeWhetherToGoOn) {
  Ref<Menu> none;
  rt.set_error_answer([](ErrorCode) { return ErrorAnswer::Continue; });
  bool checked = true;
  EXPECT_EQ(run([&](Menu&) { checked = rt.require(none, "none"); }), Outcome::Completed);
  EXPECT_FALSE(checked);
  rt.set_error_answer(nullptr);
  EXPECT_EQ(run([&](Menu&) { checked = rt.require(item, "item"); }), Outcome::Completed);
  EXPECT_TRUE(checked);
  EXPECT_EQ(run([&](Menu&) { rt.require(none, "none"); }), Outcome::Failed);
  EXPECT_EQ(rt.error_log().back().detail, "none");
}

}  // namespace
}  // namespace rt
