// Hands the eye-space normal, position and the object colour to the
// per-pixel Phong shading.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;
varying vec4 base_colour;

void main() {
  gl_Position = ftransform();
  eye_normal = gl_NormalMatrix * gl_Normal;
  eye_position = vec3(gl_ModelViewMatrix * gl_Vertex);
  base_colour = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
}
