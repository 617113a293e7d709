#include "odkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {
// Records every notification as "event:handle[:flag]".
class Recorder : public OdDbDatabaseReactor
{
public:
    std::vector<std::string> events;
    std::function<void(const OdDbObject*)> onModified;
    std::function<void()> onAppended;

    static std::string h(const OdDbObject* o) { return o->objectId().getHandle().ascii().toUtf8(); }
    void objectAppended(const OdDbDatabase*, const OdDbObject* o) override
    {
        events.push_back("appended:" + h(o));
        if (onAppended) onAppended();
    }
    void objectUnAppended(const OdDbDatabase*, const OdDbObject* o) override
    {
        events.push_back("unappended:" + h(o));
    }
    void objectReAppended(const OdDbDatabase*, const OdDbObject* o) override
    {
        events.push_back("reappended:" + h(o));
    }
    void objectModified(const OdDbDatabase*, const OdDbObject* o) override
    {
        events.push_back("modified:" + h(o));
        if (onModified) onModified(o);
    }
    void objectErased(const OdDbDatabase*, const OdDbObject* o, bool erased) override
    {
        events.push_back("erased:" + h(o) + (erased ? ":true" : ":false"));
    }
};
} // namespace

class OdkitReactor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        reactor = OdRxObjectImpl<Recorder>::createObject();
        db->addReactor(reactor);
    }
    void TearDown() override { db->removeReactor(reactor); }

    OdDbObjectId appendLight()
    {
        OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        return ms->appendOdDbEntity(OdDbLight::createObject());
    }
    static std::string h(const OdDbObjectId& id) { return id.getHandle().ascii().toUtf8(); }

    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdSmartPtr<Recorder> reactor;
};

TEST_F(OdkitReactor, AppendNotifiesOnceAtTheAppend)
{
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbLightPtr light = OdDbLight::createObject();
    light->setIntensity(2.0); // before the append: not a modification
    OdDbObjectId id = ms->appendOdDbEntity(light);
    EXPECT_EQ(reactor->events, (std::vector<std::string>{"appended:" + h(id)}));
    light.release();
    ms.release();
    EXPECT_EQ(reactor->events.size(), 1u) << "closing an unchanged new object or its block sends nothing";
}

TEST_F(OdkitReactor, ModifiedArrivesWhenTheChangedObjectCloses)
{
    OdDbObjectId id = appendLight();
    reactor->events.clear();
    {
        OdDbLightPtr light = id.safeOpenObject(OdDb::kForWrite);
        light->setIntensity(3.0);
        light->setOn(false);
        EXPECT_TRUE(reactor->events.empty()) << "nothing while still open";
        OdDbObjectPtr second = id.safeOpenObject(); // a second pointer keeps it open
        light.release();
        EXPECT_TRUE(reactor->events.empty());
    }
    EXPECT_EQ(reactor->events, (std::vector<std::string>{"modified:" + h(id)}));
}

TEST_F(OdkitReactor, NoModifiedForReadOrForUnchangedWrite)
{
    OdDbObjectId id = appendLight();
    reactor->events.clear();
    OdDbLightPtr(id.safeOpenObject())->intensity();
    OdDbLightPtr(id.safeOpenObject(OdDb::kForWrite))->intensity();
    EXPECT_TRUE(reactor->events.empty());
}

TEST_F(OdkitReactor, DowngradeNotifiesAChangeOnce)
{
    OdDbObjectId id = appendLight();
    reactor->events.clear();
    OdDbLightPtr light = id.safeOpenObject(OdDb::kForWrite);
    light->setIntensity(5.0);
    light->downgradeOpen();
    EXPECT_EQ(reactor->events, (std::vector<std::string>{"modified:" + h(id)}));
    EXPECT_FALSE(light->isWriteEnabled());
    EXPECT_THROW(light->setIntensity(6.0), OdError);
    light.release();
    EXPECT_EQ(reactor->events.size(), 1u) << "closing after the downgrade sends no second notification";
}

TEST_F(OdkitReactor, RecordGraphicsModifiedCountsAsAChange)
{
    OdDbObjectId id = appendLight();
    reactor->events.clear();
    OdDbEntityPtr e = id.safeOpenObject(OdDb::kForWrite);
    e->recordGraphicsModified(true);
    e->downgradeOpen();
    EXPECT_EQ(reactor->events, (std::vector<std::string>{"modified:" + h(id)}));
}

TEST_F(OdkitReactor, EraseAndUneraseCarryTheNewState)
{
    OdDbObjectId id = appendLight();
    reactor->events.clear();
    OdDbObjectPtr obj = id.safeOpenObject(OdDb::kForWrite);
    EXPECT_EQ(obj->erase(true), eOk);
    EXPECT_EQ(obj->erase(true), eOk); // already erased: no second notification
    EXPECT_EQ(obj->erase(false), eOk);
    obj.release();
    EXPECT_EQ(reactor->events,
              (std::vector<std::string>{"erased:" + h(id) + ":true", "erased:" + h(id) + ":false"}));
}

TEST_F(OdkitReactor, UndoUnappendsAndRedoReappends)
{
    db->startUndoRecord();
    OdDbObjectId id = appendLight();
    db->startUndoRecord();
    OdDbObjectPtr(id.safeOpenObject(OdDb::kForWrite))->erase();
    reactor->events.clear();
    ASSERT_TRUE(db->hasUndo());
    db->undo();
    EXPECT_FALSE(id.isErased());
    db->undo();
    EXPECT_FALSE(id.isValid());
    EXPECT_TRUE(id.openObject().isNull());
    db->redo();
    EXPECT_TRUE(id.isValid());
    EXPECT_EQ(reactor->events, (std::vector<std::string>{"erased:" + h(id) + ":false", "unappended:" + h(id),
                                                         "reappended:" + h(id)}));
    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject();
    EXPECT_EQ(ms->numEntities(), 1u);
}

TEST_F(OdkitReactor, ReactorReadsTheObjectDuringModifiedButCannotWriteIt)
{
    OdDbObjectId id = appendLight();
    double seen = 0.0;
    bool writeRefused = false;
    reactor->onModified = [&](const OdDbObject* o) {
        OdDbLightPtr light = OdDbLight::cast(o); // a new pointer, dropped again below
        seen = light->intensity();
        writeRefused = id.openObject(OdDb::kForWrite).isNull();
    };
    OdDbLightPtr light = id.safeOpenObject(OdDb::kForWrite);
    light->setIntensity(7.5);
    light.release();
    EXPECT_EQ(seen, 7.5);
    EXPECT_TRUE(writeRefused);
    EXPECT_EQ(std::count(reactor->events.begin(), reactor->events.end(), "modified:" + h(id)), 1);
    // After the notification the object is closed and opens normally.
    EXPECT_FALSE(id.openObject(OdDb::kForWrite).isNull());
}

TEST_F(OdkitReactor, ReactorsMayRemoveAndAddReactorsWhileNotified)
{
    OdSmartPtr<Recorder> second = OdRxObjectImpl<Recorder>::createObject();
    OdSmartPtr<Recorder> late = OdRxObjectImpl<Recorder>::createObject();
    db->addReactor(second);
    // The first reactor removes the second and adds a third during one notification.
    reactor->onAppended = [&]() {
        db->removeReactor(second);
        db->addReactor(late);
    };
    appendLight();
    EXPECT_EQ(reactor->events.size(), 1u);
    EXPECT_TRUE(second->events.empty()) << "a reactor removed meanwhile is not called";
    EXPECT_TRUE(late->events.empty()) << "a reactor added meanwhile waits for the next notification";
    reactor->onAppended = nullptr;
    appendLight();
    EXPECT_EQ(late->events.size(), 1u);
    db->removeReactor(late);

    // A reactor removing itself.
    reactor->onAppended = [&]() { db->removeReactor(reactor); };
    appendLight();
    appendLight();
    EXPECT_EQ(reactor->events.size(), 3u);
    EXPECT_FALSE(db->hasReactor(reactor));
}

TEST_F(OdkitReactor, AFailingReactorDoesNotStopTheOthers)
{
    OdSmartPtr<Recorder> second = OdRxObjectImpl<Recorder>::createObject();
    db->addReactor(second);
    reactor->onModified = [](const OdDbObject*) { throw OdError(eInvalidInput); };
    OdDbObjectId id = appendLight();
    OdDbLightPtr light = id.safeOpenObject(OdDb::kForWrite);
    light->setIntensity(1.5);
    EXPECT_NO_THROW(light.release());
    EXPECT_EQ(second->events.back(), "modified:" + h(id));
    db->removeReactor(second);
}

TEST(OdkitOpenMode, WritingThroughAReadOpenRaises)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbLayerTableRecordPtr layer = db->getLayerZeroId().safeOpenObject();
    EXPECT_TRUE(layer->isReadEnabled());
    EXPECT_FALSE(layer->isWriteEnabled());
    try {
        layer->setIsOff(true);
        FAIL() << "write through a read open";
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eNotOpenForWrite);
    }
    layer->upgradeOpen();
    EXPECT_NO_THROW(layer->setIsOff(true));
    EXPECT_TRUE(layer->isOff());
}

TEST(OdkitOpenMode, ReadingAClosedObjectRaises)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbLayerTableRecord* raw = nullptr;
    {
        OdDbLayerTableRecordPtr layer = db->getLayerZeroId().safeOpenObject();
        raw = layer.get();
    }
    EXPECT_EQ(raw->openMode(), OdDb::kNotOpen);
    EXPECT_THROW(raw->isOff(), OdError);
}

TEST(OdkitOpenMode, ErasedObjectsOpenOnlyOnRequest)
{
    OdDbDatabasePtr db = OdDbDatabase::createObject();
    OdDbObjectId id = OdDbBlockTableRecord::cast(db->getModelSpaceId().safeOpenObject(OdDb::kForWrite))
                          ->appendOdDbEntity(OdDbLight::createObject());
    OdDbObjectPtr(id.safeOpenObject(OdDb::kForWrite))->erase();
    EXPECT_TRUE(id.isErased());
    EXPECT_TRUE(id.openObject().isNull());
    try {
        id.safeOpenObject();
        FAIL();
    } catch (const OdError& e) {
        EXPECT_EQ(e.code(), eWasErased);
    }
    OdDbObjectPtr erased = id.safeOpenObject(OdDb::kForRead, true);
    ASSERT_FALSE(erased.isNull());
    EXPECT_THROW(erased->upgradeOpen(), OdError);
    EXPECT_THROW(OdDbObjectId().safeOpenObject(), OdError);
    OdDbObjectPtr res;
    EXPECT_EQ(OdDbObjectId().openObject(res), eNullObjectId);
}

TEST(OdkitOpenMode, ObjectsOutsideADatabaseAreAlwaysWritable)
{
    OdDbLightPtr light = OdDbLight::createObject();
    EXPECT_TRUE(light->isWriteEnabled());
    light->setIntensity(2.0);
    EXPECT_EQ(light->intensity(), 2.0);
    EXPECT_EQ(light->erase(), eNotInDatabase);
}
