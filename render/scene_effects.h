// The shader programs and screen-space ambient-occlusion passes that a Scene
// may draw through. They live with the shaders; the scene holds them through
// this interface so that drawing needs nothing of theirs.
#pragma once

namespace Tavrin {

class Scene;
struct View;

class SceneEffects {
 public:
  virtual ~SceneEffects() = default;
  // Draws the scene's objects through the selected program, or through the
  // occlusion passes when scene.ssao_on; the camera and lights are set.
  // False when there is no usable program: the scene then draws the objects
  // with the fixed-function pipeline itself.
  virtual bool draw(Scene& scene, const View& view, float aspect, const float background[4]) = 0;
  // Frees the frame buffer and textures sized for the old viewport; they are
  // made again on the next occlusion draw. Needs the GL context.
  virtual void release_resources() = 0;
};

}  // namespace Tavrin
