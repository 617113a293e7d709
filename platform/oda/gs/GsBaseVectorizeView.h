#pragma once

#include "GsBaseVectorizeDevice.h"
#include "GsView.h"

#include <vector>

// A view that vectorizes its drawables on update. Holds the device (not owned), the drawables, the
// render mode and the camera.
class ODGS_EXPORT OdGsBaseVectorizeView : public OdGsView
{
public:
    OdGsBaseVectorizeView();
    ~OdGsBaseVectorizeView() override;

    // Binds the view to its device; called once by the device's createView.
    virtual void init(OdGsBaseVectorizeDevice* device, const OdGsClientViewInfo* viewInfo = nullptr);

    OdGsDevice* device() const override;
    OdGsBaseVectorizeDevice* baseDevice() const { return m_device; }

    RenderMode mode() const override { return m_mode; }
    void setMode(RenderMode mode) override { m_mode = mode; }

    bool add(OdGiDrawable* sceneGraph) override;
    bool erase(OdGiDrawable* sceneGraph) override;
    void eraseAll() override;
    int numDrawables() const override { return int(m_drawables.size()); }
    // The drawable at index, opened for read when it is a database object.
    OdGiDrawablePtr drawableAt(int index) const;

    // Vectorizes every drawable between beginViewVectorization and endViewVectorization.
    void update() override;

    void setView(const OdGePoint3d& position, const OdGePoint3d& target, const OdGeVector3d& upVector,
                 double fieldWidth, double fieldHeight, Projection projection = kParallel) override;
    OdGePoint3d position() const override { return m_position; }
    OdGePoint3d target() const override { return m_target; }
    OdGeVector3d upVector() const override { return m_upVector; }
    double fieldWidth() const override { return m_fieldWidth; }
    double fieldHeight() const override { return m_fieldHeight; }
    bool isPerspective() const override { return m_projection == kPerspective; }
    double focalLength() const override;
    void setLensLength(double lensLength) override { m_lensLength = lensLength; }
    double lensLength() const override { return m_lensLength; }
    OdGeMatrix3d eyeToWorldTransform() const override;
    OdGeMatrix3d worldToEyeTransform() const override;

    const OdGsClientViewInfo& viewInfo() const { return m_viewInfo; }

    virtual void beginViewVectorization();
    virtual void endViewVectorization();
    bool isVectorizing() const { return m_vectorizing; }

    void setEyeToOutputTransform(const OdGeMatrix3d& xfm) { m_eyeToOutput = xfm; }
    const OdGeMatrix3d& eyeToOutputTransform() const { return m_eyeToOutput; }

protected:
    // Draws one of the view's drawables; the join routes it to the vectorizer's draw.
    virtual void drawViewDrawable(const OdGiDrawable* drawable) = 0;

private:
    OdGsBaseVectorizeDevice* m_device = nullptr;
    OdGsClientViewInfo m_viewInfo;
    RenderMode m_mode = k2DOptimized;
    // Database objects are kept by id and opened for each update, so the view never holds them open.
    struct Entry
    {
        OdGiDrawablePtr transient;
        OdDbObjectId id;
    };
    std::vector<Entry> m_drawables;
    OdGePoint3d m_position{0, 0, 1};
    OdGePoint3d m_target{0, 0, 0};
    OdGeVector3d m_upVector{0, 1, 0};
    double m_fieldWidth = 1.0;
    double m_fieldHeight = 1.0;
    double m_lensLength = 50.0;
    Projection m_projection = kParallel;
    OdGeMatrix3d m_eyeToOutput;
    bool m_vectorizing = false;
};

// A view that is its own vectorizer.
template <class TVectorizer>
class OdGsBaseVectorizeViewJoin : public OdGsBaseVectorizeView, public TVectorizer
{
public:
    void beginViewVectorization() override
    {
        OdGsBaseVectorizeView::beginViewVectorization();
        this->setGiContext(baseDevice() ? baseDevice()->userGiContext() : nullptr);
    }

protected:
    void drawViewDrawable(const OdGiDrawable* drawable) override { this->draw(drawable); }
};
