#include "tests/common/zalTestHost.h"

#include "IzalProjectManager.h"
#include "zalHostIdStrings.h"

#include "DbDatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

class zalHostProjectFolders : public ::testing::Test
{
protected:
    zalTestHost host{zalHostOptions::ProjectManager};
    IzalProjectManager* projects = zalService<IzalProjectManager>(IzalProjectManager_id);
    OdDbDatabasePtr db = OdDbDatabase::createObject();

    void setFile(const QString& path) { db->setFilename(OdString(path.toStdWString())); }
};

TEST_F(zalHostProjectFolders, channelFolderIsCreatedNextToTheDrawing)
{
    ASSERT_NE(projects, nullptr);
    setFile(host.filePath("site/house.dxf"));
    const QString folder = projects->projectFolder(IzalProjectManager::kRemoteRender, db.get(), true);
    EXPECT_EQ(folder, host.filePath("site/house_project/RemoteRender"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(zalHostProjectFolders, folderIsNotMadeWhenNotAskedTo)
{
    setFile(host.filePath("house.dxf"));
    const QString folder = projects->projectFolder(IzalProjectManager::kRemoteRender, db.get(), false);
    EXPECT_EQ(folder, host.filePath("house_project/RemoteRender"));
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(zalHostProjectFolders, sceneFileResolvesIntoTheScenesFolder)
{
    setFile(host.filePath("house.dxf"));
    const QString path = projects->absolutePath(OdString("D1_AcDbViewportTableRecord_2A_ue5.rsc"),
                                                IzalProjectManager::kScenes, db.get());
    EXPECT_EQ(path, host.filePath("house_project/Scenes/D1_AcDbViewportTableRecord_2A_ue5.rsc"));
    EXPECT_TRUE(QFileInfo(QFileInfo(path).path()).isDir());
}

TEST_F(zalHostProjectFolders, drawingWithoutFileUsesTheTemporaryRoot)
{
    const QString folder = projects->projectFolder(IzalProjectManager::kRemoteRender, db.get(), true);
    const QString tag = host.app()->idStrings()->databaseTag(db.get());
    EXPECT_EQ(folder, QDir(host.app()->options().temporaryRoot).filePath(tag + "/RemoteRender"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    // Asked again, the same folder.
    EXPECT_EQ(projects->projectFolder(IzalProjectManager::kRemoteRender, db.get(), true), folder);
}

TEST_F(zalHostProjectFolders, twoDrawingsWithoutFilesGetTwoFolders)
{
    OdDbDatabasePtr other = OdDbDatabase::createObject();
    EXPECT_NE(projects->projectFolder(IzalProjectManager::kScenes, db.get(), false),
              projects->projectFolder(IzalProjectManager::kScenes, other.get(), false));
}

TEST_F(zalHostProjectFolders, badRequestsGiveNoPath)
{
    setFile(host.filePath("house.dxf"));
    EXPECT_EQ(projects->projectFolder(IzalProjectManager::kRemoteRender, nullptr, true), QString());
    EXPECT_EQ(projects->projectFolder(7, db.get(), true), QString());
    EXPECT_EQ(projects->projectFolder(-1, db.get(), true), QString());
    EXPECT_EQ(projects->absolutePath(OdString(""), IzalProjectManager::kScenes, db.get()), QString());
    EXPECT_EQ(projects->absolutePath(OdString("../../escape.rsc"), IzalProjectManager::kScenes, db.get()),
              QString());
    EXPECT_EQ(projects->absolutePath(OdString("/etc/passwd"), IzalProjectManager::kScenes, db.get()),
              QString());
    EXPECT_FALSE(QFileInfo::exists(host.filePath("house_project/Kind7")));
}

TEST_F(zalHostProjectFolders, folderBelowAFileCannotBeMade)
{
    QFile blocker(host.filePath("house_project"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setFile(host.filePath("house.dxf"));
    EXPECT_EQ(projects->projectFolder(IzalProjectManager::kRemoteRender, db.get(), true), QString());
}
