#!/usr/bin/python3
"""Writes pavilion.dxf, the sample drawing of the project: a garden pavilion on a stone floor, eight
columns inserted from one block, a translucent glass roof, a reflecting pool, steps and lights.

Run: /usr/bin/python3 samples/make_pavilion.py [OUT.dxf]   (needs python3-ezdxf)
"""
import math
import os
import sys

import ezdxf


def true_color(rgb):
    # MATERIAL colours are AcCmEntityColor values: method 0xC2 (true colour), then RGB; stored signed.
    value = (0xC2 << 24) | rgb
    return value - (1 << 32)


def box(x0, y0, z0, x1, y1, z1):
    vertices = [(x0, y0, z0), (x1, y0, z0), (x1, y1, z0), (x0, y1, z0),
                (x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)]
    faces = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7)]
    return vertices, faces


def add_mesh(msp, vertices, faces, **attribs):
    mesh = msp.add_mesh(dxfattribs=attribs)
    with mesh.edit_data() as data:
        data.vertices = vertices
        data.faces = faces
    return mesh


def material(doc, name, rgb, opacity=1.0, gloss=0.5, description=""):
    m = doc.materials.new(name)
    m.dxf.description = description
    m.dxf.diffuse_color_method = 1
    m.dxf.diffuse_color_value = true_color(rgb)
    m.dxf.opacity = opacity
    m.dxf.specular_gloss_factor = gloss
    return m


def main(out):
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = 6  # metres
    for name, color in (("Ground", 3), ("Floor", 8), ("Columns", 7), ("Roof", 4), ("Water", 5),
                        ("Lights", 2), ("Notes", 1)):
        doc.layers.add(name, color=color)

    grass = material(doc, "Grass", 0x5B7F3A, gloss=0.1)
    stone = material(doc, "Stone", 0xBDB4A2, gloss=0.3)
    marble = material(doc, "Column Marble", 0xECE8E0, gloss=0.7)
    glass = material(doc, "Roof Glass", 0x9CCBEA, opacity=0.35, gloss=0.9)
    water = material(doc, "Pool Water", 0x2F6FA8, opacity=0.75, gloss=0.95)

    msp = doc.modelspace()

    # Ground and floor.
    add_mesh(msp, [(-15, -12, 0), (15, -12, 0), (15, 12, 0), (-15, 12, 0)], [(0, 1, 2, 3)],
             layer="Ground", material_handle=grass.dxf.handle)
    v, f = box(-6, -4, 0, 6, 4, 0.3)
    add_mesh(msp, v, f, layer="Floor", material_handle=stone.dxf.handle)

    # Steps in front of the floor, as 3D faces (treads and risers).
    for i, y in enumerate((-4.35, -4.7)):
        top = 0.3 - 0.1 * (i + 1)
        msp.add_3dface([(-2, y, top), (2, y, top), (2, y + 0.35, top), (-2, y + 0.35, top)],
                       dxfattribs={"layer": "Floor", "color": 8})
        msp.add_3dface([(-2, y, 0), (2, y, 0), (2, y, top), (-2, y, top)], dxfattribs={"layer": "Floor", "color": 8})

    # One column as a block: an octagonal shaft between two square plates, as a polyface mesh.
    column = doc.blocks.new("COLUMN", base_point=(0, 0, 0))
    shaft = column.add_polyface(dxfattribs={"layer": "Columns", "material_handle": marble.dxf.handle})
    r, h = 0.22, 2.9
    ring = [(r * math.cos(2 * math.pi * k / 8), r * math.sin(2 * math.pi * k / 8)) for k in range(8)]
    for k in range(8):
        a, b = ring[k], ring[(k + 1) % 8]
        shaft.append_face([(a[0], a[1], 0.1), (b[0], b[1], 0.1), (b[0], b[1], 0.1 + h), (a[0], a[1], 0.1 + h)])
    for z0, z1 in ((0.0, 0.1), (0.1 + h, 0.2 + h)):
        pv, pf = box(-0.35, -0.35, z0, 0.35, 0.35, z1)
        for face in pf:
            shaft.append_face([pv[i] for i in face])
    shaft.optimize()

    for x in (-4.8, -1.6, 1.6, 4.8):
        for y in (-2.8, 2.8):
            msp.add_blockref("COLUMN", (x, y, 0.3),
                             dxfattribs={"layer": "Columns", "rotation": 22.5 if y > 0 else 0})

    # Glass roof slab over the columns.
    v, f = box(-6.4, -4.3, 3.5, 6.4, 4.3, 3.7)
    add_mesh(msp, v, f, layer="Roof", material_handle=glass.dxf.handle)

    # Reflecting pool beside the pavilion.
    v, f = box(7.5, -3, 0.0, 12.5, 3, 0.05)
    add_mesh(msp, v, f, layer="Water", material_handle=water.dxf.handle)

    # Lights: the sun, two lamps under the roof, a spot on the pool.
    msp.new_entity("LIGHT", dxfattribs={"name": "Sun", "type": 1, "intensity": 1.0, "location": (20, -30, 40),
                                        "target": (0, 0, 0), "layer": "Lights"})
    for name, x in (("Lamp West", -3.0), ("Lamp East", 3.0)):
        msp.new_entity("LIGHT", dxfattribs={"name": name, "type": 2, "intensity": 2.0, "location": (x, 0, 3.2),
                                            "target": (x, 0, 0), "layer": "Lights"})
    msp.new_entity("LIGHT", dxfattribs={"name": "Pool Spot", "type": 3, "intensity": 3.0,
                                        "location": (10, -6, 5), "target": (10, 0, 0), "hotspot_angle": 30,
                                        "falloff_angle": 45, "layer": "Lights"})

    msp.add_text("Pavilion", dxfattribs={"insert": (-6, -6, 0), "height": 0.6, "layer": "Notes"})
    doc.saveas(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "pavilion.dxf"))
