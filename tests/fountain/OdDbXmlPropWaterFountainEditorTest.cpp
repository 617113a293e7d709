// The fountain's page in the host's real property editor (offscreen): what the user types into the
// angle fields is what the page shows after it is drawn again, and the fountain turns accordingly.
#include "fountain/OdDbXmlPropWaterFountain.h"
#include "fountain/zalDbWaterFountain.h"

#include "zalPropertyPage.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>

// Readable failures.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const double kPi = 3.14159265358979323846;

QString qs(const OdString& text)
{
    return QString::fromStdWString(text.toStdWString());
}

class FountainPropertyPage : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char arg0[] = "fountain_page";
        static char* argv[] = {arg0, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
        if (!zalDbWaterFountain::desc()) zalDbWaterFountain::rxInit();
    }

    void SetUp() override
    {
        db = OdDbDatabase::createObject();
        db->setAUNITS(0); // degrees
        db->setAUPREC(2);
        page.reset(new zalPropertyPage);
        page->resize(400, 600);
        page->show();
    }

    void TearDown() override
    {
        page.reset();
        db = nullptr;
    }

    // A fountain placed with `placement`, shown on the page.
    void place(const OdGeMatrix3d& placement)
    {
        zalDbWaterFountainPtr fountain = zalDbWaterFountain::createObject();
        fountain->setDatabaseDefaults(db);
        fountain->setTransform(placement);
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        id = modelSpace->appendOdDbEntity(fountain);
        OdDbXmlPropWaterFountainPtr source = OdDbXmlPropWaterFountain::createObject(read().get());
        page->attach(source.get(), "Fountain", QString(), QString(), db.get());
    }

    zalDbWaterFountainPtr read() { return zalDbWaterFountain::cast(id.safeOpenObject(OdDb::kForRead).get()); }

    QLineEdit* field(const char* name) const
    {
        return qobject_cast<QLineEdit*>(page->editor(QStringLiteral("FountainProperties/") + name));
    }

    // Types into the field as a user does and ends with Enter; the page is then drawn again, as the
    // host does when the object changed.
    void type(const char* name, const QString& text)
    {
        QLineEdit* line = field(name);
        ASSERT_NE(line, nullptr) << name;
        line->setFocus();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
        page->reload();
    }

    QString shown(const char* name) const
    {
        QLineEdit* line = field(name);
        return line ? line->text() : QStringLiteral("<missing>");
    }

    QString degrees(double value) const { return qs(db->formatter().formatAngle(value * kPi / 180.0)); }

    OdDbDatabasePtr db;
    OdDbObjectId id;
    std::unique_ptr<zalPropertyPage> page;
};

} // namespace

TEST_F(FountainPropertyPage, theVerticalAngleTypedIsTheOneShownAndTiltsTheJetsAboutTheFountainsXAxis)
{
    place(OdGeMatrix3d::translation(OdGeVector3d(4, 5, 6)));
    ASSERT_EQ(shown("VerticalAngle"), degrees(0));
    const QString heading = shown("HorizontalAngle");

    type("VerticalAngle", "30");
    EXPECT_EQ(shown("VerticalAngle"), degrees(30));
    EXPECT_EQ(shown("HorizontalAngle"), heading);
    const OdGeMatrix3d m = read()->transform();
    // Z leans by 30 degrees about X, towards -Y; X and the position stay.
    EXPECT_NEAR(m.getCsZAxis().z, std::cos(kPi / 6), 1e-9);
    EXPECT_NEAR(m.getCsZAxis().y, -std::sin(kPi / 6), 1e-9);
    EXPECT_TRUE(m.getCsXAxis().isEqualTo(OdGeVector3d::kXAxis, OdGeTol(1e-9)));
    EXPECT_TRUE(m.getCsOrigin().isEqualTo(OdGePoint3d(4, 5, 6)));

    type("VerticalAngle", "-75");
    EXPECT_EQ(shown("VerticalAngle"), degrees(-75));
    type("VerticalAngle", "0");
    EXPECT_EQ(shown("VerticalAngle"), degrees(0));
    EXPECT_NEAR(read()->transform().getCsZAxis().z, 1.0, 1e-9);
}

TEST_F(FountainPropertyPage, theTypedAnglesComeBackForATurnedScaledAndMirroredFountain)
{
    const OdGeMatrix3d placement = OdGeMatrix3d::translation(OdGeVector3d(1, 2, 3)) *
                                   OdGeMatrix3d::rotation(2.0, OdGeVector3d::kZAxis) *
                                   OdGeMatrix3d::rotation(0.3, OdGeVector3d::kYAxis) *
                                   OdGeMatrix3d::scaling(OdGeScale3d(2.0, -1.5, 0.5));
    place(placement);
    const QString heading = shown("HorizontalAngle");

    type("VerticalAngle", "20");
    EXPECT_EQ(shown("VerticalAngle"), degrees(20));
    EXPECT_EQ(shown("HorizontalAngle"), heading);
    const OdGeMatrix3d m = read()->transform();
    // The edit turns; it neither scales nor unmirrors.
    EXPECT_NEAR(m.getCsXAxis().length(), 2.0, 1e-9);
    EXPECT_NEAR(m.getCsYAxis().length(), 1.5, 1e-9);
    EXPECT_NEAR(m.getCsZAxis().length(), 0.5, 1e-9);
    EXPECT_NEAR(m.det(), placement.det(), 1e-9);
    EXPECT_TRUE(m.getCsXAxis().isEqualTo(placement.getCsXAxis(), OdGeTol(1e-9)));
    EXPECT_TRUE(m.getCsOrigin().isEqualTo(OdGePoint3d(1, 2, 3)));

    type("HorizontalAngle", "45");
    EXPECT_EQ(shown("HorizontalAngle"), degrees(45));
}
