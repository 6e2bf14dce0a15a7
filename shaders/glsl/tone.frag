// Cool-to-warm tone shading: surfaces facing the first light take a warm
// yellow, surfaces facing away a cool blue, both tinted by the object colour.
// Unlike plain diffuse lighting nothing goes black, so the shape stays
// readable on the far side, and a small highlight marks the curvature.
#version 120

varying vec3 eye_normal;
varying vec3 eye_position;
varying vec4 base_colour;

void main() {
  vec3 n = normalize(eye_normal);
  if (!gl_FrontFacing) n = -n;
  vec3 l = normalize(gl_LightSource[0].position.xyz);
  vec3 v = normalize(-eye_position);

  vec3 cool = vec3(0.0, 0.0, 0.55) + 0.25 * base_colour.rgb;
  vec3 warm = vec3(0.3, 0.3, 0.0) + 0.5 * base_colour.rgb;
  float t = (1.0 + dot(n, l)) * 0.5;
  vec3 colour = mix(cool, warm, t);

  vec3 r = reflect(-l, n);
  float highlight = pow(max(dot(r, v), 0.0), 40.0);
  colour = mix(colour, vec3(1.0), 0.45 * highlight);
  gl_FragColor = vec4(colour, base_colour.a);
}
