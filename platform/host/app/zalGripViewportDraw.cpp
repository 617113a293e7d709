#include "zalGripViewportDraw.h"

#include "Ge/GePoint2d.h"

#include <QPainter>
#include <QPolygonF>

zalGripViewportDraw::zalGripViewportDraw(const OdGeMatrix3d& worldToEye, double distance, double fieldWidth,
                                         const QSize& pixels)
    : m_worldToEye(worldToEye), m_eyeToWorld(worldToEye.inverse()), m_distance(distance),
      m_fieldWidth(fieldWidth), m_pixels(pixels)
{
}

void zalGripViewportDraw::getNumPixelsInUnitSquare(const OdGePoint3d& worldPoint, OdGePoint2d& pixelArea,
                                                   bool includePerspective) const
{
    double perUnit = m_fieldWidth > 0 ? m_pixels.width() / m_fieldWidth : 1.0;
    if (includePerspective) {
        OdGePoint3d eye = worldPoint;
        eye.transformBy(m_worldToEye);
        const double depth = m_distance - eye.z;
        if (depth > 0) perUnit *= m_distance / depth;
    }
    pixelArea = OdGePoint2d(perUnit, perUnit);
}

void zalGripViewportDraw::polylineEye(std::uint32_t numVertices, const OdGePoint3d* vertexList)
{
    m_shapes.push_back(
        {std::vector<OdGePoint3d>(vertexList, vertexList + numVertices), m_color, false, false});
}

void zalGripViewportDraw::polygonEye(std::uint32_t numVertices, const OdGePoint3d* vertexList)
{
    m_shapes.push_back({std::vector<OdGePoint3d>(vertexList, vertexList + numVertices), m_color,
                        m_fill == kOdGiFillAlways, true});
}

bool zalGripViewportDraw::toScreen(const OdGePoint3d& eye, QPointF& out) const
{
    const double depth = m_distance - eye.z;
    if (depth <= m_distance * 1e-3 || m_fieldWidth <= 0) return false;
    const double scale = m_pixels.width() / m_fieldWidth * m_distance / depth;
    out = QPointF(m_pixels.width() / 2.0 + eye.x * scale, m_pixels.height() / 2.0 - eye.y * scale);
    return true;
}

QColor zalGripViewportDraw::aciColor(std::uint16_t aci)
{
    switch (aci) {
    case 1:
        return QColor(255, 0, 0);
    case 2:
        return QColor(255, 255, 0);
    case 3:
        return QColor(0, 255, 0);
    case 4:
        return QColor(0, 255, 255);
    case 5:
        return QColor(0, 0, 255);
    case 6:
        return QColor(255, 0, 255);
    default:
        return QColor(255, 255, 255);
    }
}

void zalGripViewportDraw::paint(QPainter* painter) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    for (const Shape& shape : m_shapes) {
        QPolygonF polygon;
        for (const OdGePoint3d& eye : shape.eye) {
            QPointF q;
            if (!toScreen(eye, q)) break;
            polygon << q;
        }
        if (polygon.size() != int(shape.eye.size()) || polygon.isEmpty()) continue;
        const QColor color = aciColor(shape.color);
        painter->setPen(QPen(shape.filled ? QColor(20, 20, 20) : color, 1.0));
        painter->setBrush(shape.filled ? QBrush(color) : QBrush(Qt::NoBrush));
        if (shape.closed && polygon.size() > 2)
            painter->drawPolygon(polygon);
        else
            painter->drawPolyline(polygon);
    }
    painter->restore();
}
