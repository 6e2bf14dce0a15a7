// Hands the eye-space normal and position to the normal shaders.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;

void main() {
  gl_Position = ftransform();
  eye_normal = gl_NormalMatrix * gl_Normal;
  eye_position = vec3(gl_ModelViewMatrix * gl_Vertex);
  gl_FrontColor = gl_Color;
  gl_BackColor = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
}
