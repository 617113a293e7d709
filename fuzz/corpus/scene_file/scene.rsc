[General]
SunIntensity=3.5

[Camera]
DepthOfFieldEnaled=true
DepthOfFieldFocalDistance=350

[RenderSettings]
EnablePathTracing=1
GIMode=1
PT_SamplesPerPixel=64
RTQuality=2

[ToneMapper]
AmbientOcclusionIntensity=0.75
